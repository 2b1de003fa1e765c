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
#include "jobkit/settings.h"

namespace jobkit {

struct MakeJobOptions {
  std::vector<std::string> settings;  // FIELD=VALUE, as for a job script's settings
  std::string documentRef;            // how the script names the document
  size_t chunk = 4096;
  // The machine's ANSI code page and user locale the script sets; 0: the
  // first code page that holds the settings' texts (none when 1252 does),
  // and the locale that goes with the code page.
  UINT codePage = 0;
  LANGID locale = 0;
};

// What makeJob said besides the script: the code page it chose, and what
// the settings would print other than as they say.
struct MakeJobNotes {
  std::string chosen;
  std::vector<std::string> warnings;
};

// The script, or false with a message (a broken document, a bad setting).
bool makeJob(const std::filesystem::path& document, const MakeJobOptions& options, std::string* script,
             std::string* error, MakeJobNotes* notes = nullptr);

// The settings checked alone, before the document is read: false with the
// message for an unknown field or a value that does not fit.
bool checkSettings(const std::vector<std::string>& settings, SettingsBuilder* builder, std::string* error);

}  // namespace jobkit
