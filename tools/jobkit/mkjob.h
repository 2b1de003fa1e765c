// Makes a job script from a PCL XL document the way the driver's rendering
// side sends it for given settings: the settings record first, the
// document's header, pages and trailer as byte ranges of the document,
// start and end of every page, and for spooled settings the page markers
// and the two page prefixes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace jobkit {

// The page prefixes the rendering side puts just before the first page of
// a spooled job: BeginPage attributes that select the media source, entry 0
// the default source, entry 1 the multi-purpose tray.
inline constexpr uint8_t kPagePrefixes[2][4] = {{0xC0, 0x00, 0xF8, 0x26}, {0xC0, 0x03, 0xF8, 0x26}};

struct MakeJobOptions {
  std::vector<std::string> settings;  // FIELD=VALUE, as for a job script's settings
  std::string documentRef;            // how the script names the document
  size_t chunk = 4096;
};

// The script, or false with a message (a broken document, a bad setting).
bool makeJob(const std::filesystem::path& document, const MakeJobOptions& options, std::string* script,
             std::string* error);

}  // namespace jobkit
