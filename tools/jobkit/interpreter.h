// Where a PCL XL interpreter is on this machine, for whatever prints port
// output as a printer would (kqxl-report, make demo, the printer-side
// suites). One rule, in order:
//   1. KQXL_PXL_PRINT: a command that works as tools/pxl-print does;
//   2. KQXL_GPCL6: the interpreter itself, run through tools/pxl-print;
//   3. KQXL_PRINTER_TOOLS: a folder holding pxl-print and gpcl6;
//   4. ../shared/tools/pxl-print beside the project;
//   5. gpcl6 on the PATH, run through tools/pxl-print.
#pragma once

#include <filesystem>
#include <string>

namespace jobkit {

namespace fs = std::filesystem;

struct Interpreter {
  std::string printCommand;  // shell words of a pxl-print-like command; empty when none was found
  fs::path gpcl6;            // the interpreter itself, where it is known
  std::string where;         // how it was found, for a person
  std::string missing;       // why none was found

  bool found() const { return !printCommand.empty(); }
};

// `projectDir` holds tools/pxl-print and lies beside ../shared.
Interpreter findInterpreter(const fs::path& projectDir);

// What a shell command wrote, standard error included.
std::string runCommand(const std::string& command);

// A path as one shell word.
std::string shellQuote(const std::string& word);

}  // namespace jobkit
