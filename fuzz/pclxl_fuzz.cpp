// libFuzzer target: the PCL XL tokenizer and checker on arbitrary bytes,
// fed in two pieces so that the carrying of partial tokens is exercised.
#include <cstddef>
#include <cstdint>

#include "pclxl/checker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pclxl::Checker checker;
  checker.onCommand = [](const pclxl::Command& c) { (void)c.find(pclxl::attr::Orientation); };
  pclxl::Tokenizer tokenizer(checker);
  size_t split = size ? data[0] % (size + 1) : 0;
  if (tokenizer.feed(data, split)) tokenizer.feed(data + split, size - split);
  if (!tokenizer.error()) tokenizer.finish();
  checker.finish(tokenizer.offset(), tokenizer.error());
  return 0;
}
