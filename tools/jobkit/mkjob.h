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

#include "jobkit/booklet.h"

namespace jobkit {

struct MakeJobOptions {
  std::vector<std::string> settings;  // FIELD=VALUE, as for a job script's settings
  std::string documentRef;            // how the script names the document
  size_t chunk = 4096;
};

// The script, or false with a message (a broken document, a bad setting).
bool makeJob(const std::filesystem::path& document, const MakeJobOptions& options, std::string* script,
             std::string* error);

}  // namespace jobkit
