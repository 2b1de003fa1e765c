#include "jobkit/interpreter.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace jobkit {

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool executable(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

fs::path onPath(const std::string& program) {
  std::istringstream dirs(env("PATH"));
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && executable(fs::path(dir) / program)) return fs::path(dir) / program;
  return {};
}

// The project's own wrapper around the interpreter.
Interpreter throughWrapper(const fs::path& projectDir, const fs::path& gpcl6, std::string where) {
  Interpreter i;
  i.printCommand = "GPCL6=" + shellQuote(gpcl6.string()) + " " + shellQuote((projectDir / "tools/pxl-print").string());
  i.gpcl6 = gpcl6;
  i.where = std::move(where);
  return i;
}

Interpreter inFolder(const fs::path& dir, std::string where) {
  Interpreter i;
  i.printCommand = shellQuote((dir / "pxl-print").string());
  if (executable(dir / "gpcl6")) i.gpcl6 = dir / "gpcl6";
  i.where = std::move(where);
  return i;
}

}  // namespace

std::string runCommand(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    pclose(pipe);
  }
  return out;
}

std::string shellQuote(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Interpreter findInterpreter(const fs::path& projectDir) {
  if (std::string command = env("KQXL_PXL_PRINT"); !command.empty()) {
    Interpreter i;
    i.printCommand = command;
    if (std::string gpcl6 = env("KQXL_GPCL6"); !gpcl6.empty()) i.gpcl6 = gpcl6;
    i.where = "KQXL_PXL_PRINT (" + command + ")";
    return i;
  }
  if (std::string gpcl6 = env("KQXL_GPCL6"); !gpcl6.empty()) {
    if (executable(gpcl6)) return throughWrapper(projectDir, gpcl6, "KQXL_GPCL6 (" + gpcl6 + ")");
    Interpreter none;
    none.missing = "KQXL_GPCL6 names " + gpcl6 + ", which is no program";
    return none;
  }
  if (std::string dir = env("KQXL_PRINTER_TOOLS"); !dir.empty() && executable(fs::path(dir) / "pxl-print"))
    return inFolder(dir, "KQXL_PRINTER_TOOLS (" + dir + ")");
  fs::path shared = (projectDir / ".." / "shared" / "tools").lexically_normal();
  if (executable(shared / "pxl-print")) return inFolder(shared, shared.string());
  if (fs::path gpcl6 = onPath("gpcl6"); !gpcl6.empty()) return throughWrapper(projectDir, gpcl6, gpcl6.string());
  Interpreter none;
  none.missing =
      "no PCL XL interpreter: set KQXL_GPCL6 to GhostPDL's gpcl6 (README, \"Seeing the pages\", says how to build "
      "one), or put gpcl6 on the PATH";
  return none;
}

}  // namespace jobkit
