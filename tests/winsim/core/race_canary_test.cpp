// The race canary: two printers whose driver module races on a
// process-wide count between its Win32 calls, played at once by kqxl-run.
// Under ThreadSanitizer the race must be reported every time: a machine
// that ordered the printers' threads in its calls would hide it, and the
// component's races with it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/pxl_builder.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_THREAD__)
constexpr bool kUnderTsan = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kUnderTsan = true;
#else
constexpr bool kUnderTsan = false;
#endif
#else
constexpr bool kUnderTsan = false;
#endif

constexpr int kJobs = 150;

std::string script(const std::string& printer) {
  std::string s = "printer name=\"" + printer + "\"\n";
  for (int i = 0; i < kJobs; ++i)
    s += "startdoc document=\"" + printer + " " + std::to_string(i) +
         "\"\nstartpage\nwrite text \"ab\"\nwrite text \"cd\"\nendpage\nenddoc\nclose\n";
  return s;
}

struct RaceCanary : ::testing::Test {
  fs::path dir;

  void SetUp() override {
    char pattern[] = "/tmp/kqxl-canary-XXXXXX";
    dir = mkdtemp(pattern);
    winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, dir / "machine");
    fs::create_directories(dir / "machine" / "race");
    fs::copy_file(RACING_DRIVER, dir / "machine" / "race" / "RACE.DLL");
    std::ofstream ini(dir / "machine" / "winsim" / "printers.ini", std::ios::app);
    for (const char* name : {"Race A", "Race B"})
      ini << "\n[" << name << "]\nPort=USB009\nDriver=Racing Driver\nDriverPath=C:\\race\\RACE.DLL\n"
          << "ConfigFile=C:\\race\\RACE.DLL\n";
    std::ofstream(dir / "a.job") << script("Race A");
    std::ofstream(dir / "b.job") << script("Race B");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

TEST_F(RaceCanary, ARaceBetweenTwoPrintersIsReported) {
  std::string cmd = "TSAN_OPTIONS='halt_on_error=1 exitcode=66' " + std::string(KQXL_RUN) + " --machine " +
                    (dir / "machine").string() + " -o " + (dir / "out").string() + " " + (dir / "a.job").string() +
                    " " + (dir / "b.job").string() + " 2> " + (dir / "stderr").string();
  int rc = std::system(cmd.c_str());
  int status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  std::string err = test::slurp(dir / "stderr");
  if (kUnderTsan) {
    EXPECT_EQ(status, 66) << err;
    EXPECT_NE(err.find("ThreadSanitizer: data race"), std::string::npos) << err;
    EXPECT_NE(err.find("DrvSpl"), std::string::npos) << err;
  } else {
    // Without the sanitizer the module is a driver that passes its data on.
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(test::slurp(dir / "out" / "a" / "doc-1.prn"), "abcd.");
    EXPECT_EQ(test::slurp(dir / "out" / "b" / ("doc-" + std::to_string(kJobs) + ".prn")), "abcd.");
  }
}

}  // namespace
