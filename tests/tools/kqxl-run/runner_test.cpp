// kqxl-run as a person runs it: scripts in, port output, events and exit
// status out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <tuple>
#include <sstream>

#include "support/pxl_builder.h"
#include "jobkit/mkjob.h"
#include "jobkit/report.h"

namespace fs = std::filesystem;

namespace {

using test::slurp;

struct RunResult {
  int status = -1;
  std::string out, err;
};

struct Runner : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    char pattern[] = "/tmp/kqxl-run-test-XXXXXX";
    dir = mkdtemp(pattern);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  // A command's exit status; what it said on standard error (a sanitizer's
  // report, say) is shown when it fails.
  int shell(const std::string& cmd) {
    int rc = std::system((cmd + " 2> " + (dir / "child-stderr").string()).c_str());
    int status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    if (status != 0) std::cerr << cmd << " exited with " << status << ":\n" << slurp(dir / "child-stderr");
    return status;
  }

  RunResult run(const std::string& script, const std::string& options = "") {
    std::ofstream(dir / "job.job") << script;
    std::string cmd = std::string(KQXL_RUN) + " " + options + " " + (dir / "job.job").string() + " > " +
                      (dir / "stdout").string() + " 2> " + (dir / "stderr").string();
    RunResult r;
    int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(dir / "stdout");
    r.err = slurp(dir / "stderr");
    return r;
  }
};

TEST_F(Runner, DirectJobGoesToStandardOutputWithASummary) {
  std::ofstream(dir / "data.bin", std::ios::binary) << std::string(10000, 'x');
  RunResult r = run(
      "startdoc document=\"Big\"\nwrite settings\nwrite file \"data.bin\" offset=100 length=9000 chunk=4096\nclose\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string(9000, 'x'));
  EXPECT_NE(r.err.find("document 1 \"Big\": 9000 bytes"), std::string::npos) << r.err;
}

TEST_F(Runner, EventLogHasHooksTracesDocumentsAndNoLeaks) {
  RunResult r = run("startdoc\nwrite settings\nwrite text \"ab\"\nenddoc\nclose\n", "-o " + (dir / "out").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(dir / "out" / "doc-1.prn"), "ab");
  std::string events = slurp(dir / "out" / "events.jsonl");
  for (const char* line : {R"({"event":"hook","hook":"DrvSplStartDoc","result":"handle"})",
                           R"({"event":"hook","hook":"DrvSplWritePrinter","result":1,"written":1625})",
                           R"({"event":"hook","hook":"DrvSplWritePrinter","result":1,"written":2})",
                           R"({"event":"trace","text":"KQXLUMPD: DrvSplEndDoc \n"})",
                           R"({"event":"document","number":1,"name":"Document","bytes":2,"file":"doc-1.prn"})",
                           R"({"event":"hook","hook":"DrvSplClose"})"})
    EXPECT_NE(events.find(line), std::string::npos) << line << "\n" << events;
  EXPECT_EQ(events.find("\"leak\""), std::string::npos) << events;
}

TEST_F(Runner, ScriptErrorsNameTheLineAndExitTwo) {
  // A document given where its job script belongs says how to make one.
  RunResult r = run("%PDF-1.5\n%\xE2\xE3\n1 0 obj\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("job.job is a PDF document, not a job script: convert it first with Ghostscript, gs "),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("; then make a job script of it with kqxl-mkjob -o "), std::string::npos) << r.err;
  r = run("\x1B%-12345X@PJL ENTER LANGUAGE = PCLXL\n");
  EXPECT_NE(r.err.find("job.job is a PCL XL document, not a job script: make a job script of it with kqxl-mkjob"),
            std::string::npos)
      << r.err;
  r = run("startdoc\nwrite bogus\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("job.job:2: unknown write \"bogus\"; usage: write settings | "), std::string::npos) << r.err;
  r = run("# fine\nsettings wNoSuchField=1\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("job.job:2: unknown settings field"), std::string::npos) << r.err;
  r = run("write text \"x\"\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("job.job:1: write before startdoc"), std::string::npos) << r.err;
  r = run("file \"C:\\x\" text \"unterminated\n");
  EXPECT_EQ(r.status, 2);
  // A script that does not read is played on no machine: none is made for it.
  r = run("startdoc\n\"close\"\n", "--machine " + (dir / "machine").string());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("job.job:2: a line begins with a directive"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "machine"));
}

TEST_F(Runner, MachineFolderIsKeptAndGetsTheUserId) {
  fs::path machine = dir / "machine";
  RunResult r =
      run("settings szDefaultUserId=\"carol\"\nstartdoc\nwrite settings\nclose\n", "--machine " + machine.string());
  ASSERT_EQ(r.status, 0) << r.err;
  std::string ini = slurp(machine / "WINDOWS/system32/spool/drivers/w32x86/2/KQXLEN.INI");
  EXPECT_NE(ini.find("UserID=carol"), std::string::npos) << ini;
}

TEST_F(Runner, ApiLogShowsWhichIniFileEachReadUsed) {
  RunResult r = run("locale 0x0407\nstartdoc\nwrite settings\nclose\n", "--log-api -o " + (dir / "out").string());
  ASSERT_EQ(r.status, 0) << r.err;
  std::string events = slurp(dir / "out" / "events.jsonl");
  EXPECT_NE(
      events.find(
          R"("function":"GetPrivateProfileStringW","args":{"lpAppName":"GetUserID","lpKeyName":"UserID","lpDefault":"","nSize":40,"lpFileName":"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLGR.INI"})"),
      std::string::npos)
      << events;
  // Port contention is off in the model's INI file: the port name is never
  // read; the printer's information is asked for once (its size, then it),
  // for the printer's name at the job's start.
  size_t calls = 0;
  for (size_t at = 0; (at = events.find("\"function\":\"GetPrinterW\"", at)) != std::string::npos; ++at) ++calls;
  EXPECT_EQ(calls, 2u);
  EXPECT_NE(events.find("\"function\":\"GetPrivateProfileIntW\""), std::string::npos);
}

TEST_F(Runner, OptionsAndMachinesThatCannotBeUsed) {
  RunResult r = run("startdoc\nclose\n", "--no-such-option");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown option --no-such-option"), std::string::npos);
  r = run("startdoc\nclose\n", "--image " + (dir / "nowhere").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no default machine"), std::string::npos);
  r = run("printer name=\"Elsewhere\"\nstartdoc\nclose\n");
  EXPECT_EQ(r.status, 0);  // a new printer like the default one
  // A machine with a Windows folder and nothing else: no printer to print on.
  fs::create_directories(dir / "bare" / "WINDOWS");
  r = run("startdoc\nclose\n", "--image " + (dir / "bare").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no printer named \"KQ PCL6 Laser\""), std::string::npos) << r.err;
}

TEST_F(Runner, EventsCanGoToStandardError) {
  RunResult r = run("startdoc\nwrite settings\nclose\n", "--events -");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find(R"({"event":"hook","hook":"DrvSplWritePrinter","result":1,"written":1625})"), std::string::npos)
      << r.err;
}

TEST_F(Runner, MakeJobWritesAScriptBesideItsDocument) {
  fs::copy_file(KQXL_SOURCE_DIR "/examples/numbered.pxl", dir / "numbered.pxl");
  std::string cmd = std::string(KQXL_MKJOB) + " -o " + (dir / "sub" / "job.job").string() +
                    " settings wReverseOrder=2 " + (dir / "numbered.pxl").string() + " 2>&1";
  fs::create_directories(dir / "sub");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string script = slurp(dir / "sub" / "job.job");
  EXPECT_NE(script.find("write file \"../numbered.pxl\" offset=0 length=183 chunk=4096"), std::string::npos) << script;
  RunResult r = run(script, "-o " + (dir / "out").string());
  EXPECT_EQ(r.status, 2);  // the script names the document relative to sub/, not to this folder
  std::string again =
      std::string(KQXL_RUN) + " -o " + (dir / "out").string() + " " + (dir / "sub" / "job.job").string();
  EXPECT_EQ(shell(again), 0);
  EXPECT_GT(fs::file_size(dir / "out" / "doc-1.prn"), 1000u);
}

// A text outside the machine's code page would arrive as "???": kqxl-mkjob
// chooses the code page that holds it and says so, or warns of the one it
// is given; kqxl-run warns at the settings write, naming what holds it.
TEST_F(Runner, TextOutsideTheCodePageIsSaidAndTheCodePageChosen) {
  const std::string doc = KQXL_SOURCE_DIR "/examples/numbered.pxl";
  auto mkjob = [&](const std::string& args) {
    std::string cmd = std::string(KQXL_MKJOB) + " -o " + (dir / "k.job").string() + " " + args + " " + doc + " 2> " +
                      (dir / "mkjob-stderr").string();
    int rc = std::system(cmd.c_str());
    return std::make_pair(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir / "mkjob-stderr"));
  };
  const std::string korean = "settings wWatermark=1 szWatermarkText=대외비 szWatermarkFont=굴림 wWatermarkSize=72";
  auto [status, said] = mkjob(korean);
  ASSERT_EQ(status, 0) << said;
  EXPECT_NE(said.find("needs code page 949 (Korean): the script sets \"codepage 949\" and \"locale 0x0412\""),
            std::string::npos)
      << said;
  std::string script = slurp(dir / "k.job");
  EXPECT_NE(script.find("\ncodepage 949\nlocale 0x0412\nsettings reset"), std::string::npos) << script;
  RunResult r = run(script, "-o " + (dir / "out").string());
  EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;

  // Given another code page, the script keeps it and both tools warn.
  std::tie(status, said) = mkjob("--codepage 932 " + korean);
  EXPECT_NE(said.find("warning: szWatermarkText \"대외비\" cannot be written in code page 932 (Japanese): it "
                      "arrives as \"???\". Code pages that hold it: 949 (Korean)."),
            std::string::npos)
      << said;
  r = run(slurp(dir / "k.job"), "-o " + (dir / "out932").string());
  EXPECT_NE(r.err.find("job.job:6: warning: szWatermarkText \"대외비\" cannot be written in code page 932"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("\"codepage 949\" and \"locale 0x0412\" in the script"), std::string::npos) << r.err;

  // Hebrew, Thai, Vietnamese, Arabic and Japanese each find their own
  // (Vietnamese as code page 1258 writes it: the tone marks combining, the
  // dot below of "mật" after its "â"); Korean with Thai in one text finds
  // none.
  const std::pair<const char*, const char*> texts[] = {
      {"סודי", "code page 1255 (Hebrew)"},
      {"ลับมาก", "code page 874 (Thai)"},
      {"'Bí mâ\u0323t'", "code page 1258 (Vietnamese)"},
      {"سري", "code page 1256 (Arabic)"},
      {"社外秘", "code page 932 (Japanese)"},
  };
  for (auto& [text, page] : texts) {
    std::tie(status, said) = mkjob(std::string("settings wWatermark=1 wWatermarkSize=72 szWatermarkText=") + text);
    EXPECT_NE(said.find(page), std::string::npos) << text << ": " << said;
  }
  std::tie(status, said) = mkjob("settings wWatermark=1 wWatermarkSize=72 szWatermarkText=대외비ลับ");
  EXPECT_NE(said.find("No code page of the driver's holds it whole."), std::string::npos) << said;
}

// Values that print nothing useful, or cover the page, are said; a value a
// field cannot hold gives the range; the tools' exit codes agree.
TEST_F(Runner, SettingsThatPrintBadlyAreSaidAndExitCodesAgree) {
  RunResult r = run("settings wWatermark=1 szWatermarkText=\"X\" wWatermarkSize=10000\nstartdoc\nwrite settings\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("job.job:3: warning: wWatermarkSize=10000 is taller than a Letter page (792 points): the "
                       "letters cover every page"),
            std::string::npos)
      << r.err;
  std::string longText(300, 'A');
  r = run("settings szWatermarkText=\"" + longText + "\" wWatermark=1 wWatermarkSize=72\nstartdoc\nwrite settings\n");
  EXPECT_NE(r.err.find("warning: szWatermarkText is 300 bytes in code page 1252 (Western European); the settings "
                       "record holds 80: it prints as \"" +
                       std::string(80, 'A') + "\"."),
            std::string::npos)
      << r.err;
  r = run("settings wWatermark=1\nstartdoc\nwrite settings\nwrite settings\n");
  EXPECT_NE(r.err.find("job.job:3: warning: wWatermarkSize=0 prints the watermark as a speck"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("job.job:4: warning"), std::string::npos) << "said once: " << r.err;

  r = run("settings dmCopies=70000\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("\"70000\" is not a value for dmCopies, which holds -32768 to 65535"), std::string::npos)
      << r.err;
  const std::string doc = KQXL_SOURCE_DIR "/examples/numbered.pxl";
  auto status = [&](const std::string& cmd) {
    int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  EXPECT_EQ(status(std::string(KQXL_MKJOB) + " settings dmCopies=70000 " + doc), 2);
  EXPECT_EQ(status(std::string(KQXL_MKJOB) + " --bogus " + doc), 2);
  EXPECT_EQ(status(std::string(KQXL_MKJOB) + " -o /no/such/dir/x.job " + doc), 1);
  for (const char* tool : {KQXL_RUN, KQXL_MKJOB, PXLDUMP}) {
    std::string cmd = std::string(tool) + " --version > " + (dir / "version").string();
    EXPECT_EQ(std::system(cmd.c_str()), 0) << tool;
    EXPECT_NE(slurp(dir / "version").find(", of KQXLUMPD at "), std::string::npos) << tool;
  }
}

TEST_F(Runner, FailedHooksAreSummarised) {
  RunResult r =
      run("settings wWatermark=1\nstartdoc\nwrite settings\nstartpage\nfail WritePrinter nth=3\nwrite marker "
          "watermark\nclose\n",
          "-o " + (dir / "out").string());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("failed hook: DrvSplWritePrinter"), std::string::npos) << r.err;
}

// Every call the machine logs can be failed; a name it does not know is a
// script error, not a fault that silently never comes.
TEST_F(Runner, FaultsNameCallsTheMachineCanFail) {
  RunResult r = run("fail GetPrinterW\nfail WritePrinterr\n", "-o " + (dir / "out").string());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(":2: WritePrinterr is no call the simulated machine can fail"), std::string::npos) << r.err;
}

// A job of three pages with a watermark in each, on a printer of its own.
std::string pagesJob(const std::string& printer, const std::string& settings) {
  std::string script = "printer name=\"" + printer + "\"\nsettings " + settings + "\nstartdoc document=\"" + printer +
                       "\"\nwrite settings\nwrite hex 01 02 03 04 05 06 07 08\n";
  for (int page = 1; page <= 3; ++page)
    script += "startpage\nwrite marker page-start 1\nwrite text \"" + printer + " page " + std::to_string(page) +
              "\"\nwrite marker watermark\nendpage\n";
  return script + "write marker pages-end\nwrite text \"end\"\nenddoc\nclose\n";
}

// What a script's run leaves in its folder that must not depend on other
// scripts running beside it: its documents, and its events but for the
// component's load and unload (only one script's thread loads it) and the
// spool file's clock-made name.
std::string outputOf(const fs::path& dir) {
  std::string all;
  for (int n = 1; fs::exists(dir / ("doc-" + std::to_string(n) + ".prn")); ++n)
    all += "doc " + std::to_string(n) + ": " + slurp(dir / ("doc-" + std::to_string(n) + ".prn")) + "\n";
  std::istringstream events(slurp(dir / "events.jsonl"));
  for (std::string line; std::getline(events, line);) {
    if (line.find("DllEntryPoint") != std::string::npos) continue;
    size_t at = line.find("ZQP");
    if (at != std::string::npos) line = line.substr(0, at);
    all += line + "\n";
  }
  return all;
}

// Several scripts at once on one machine, a thread each: watermarked,
// spooled and direct jobs on three printers, each printing what it prints
// alone, its documents numbered from 1.
TEST_F(Runner, SeveralScriptsAtOnceEachPrintWhatTheyPrintAlone) {
  const std::pair<const char*, std::string> jobs[] = {
      {"alpha", pagesJob("Alpha", "wWatermark=1 szWatermarkText=\"ALPHA\" szWatermarkFont=\"DejaVu Sans\"")},
      {"beta",
       pagesJob("Beta", "wWatermark=1 szWatermarkText=\"BETA\" szWatermarkFont=\"DejaVu Sans\" wReverseOrder=1")},
      {"gamma", pagesJob("Gamma", "wCollate=1 dmCopies=2")},
  };
  std::string all;
  for (auto& [name, script] : jobs) {
    std::ofstream(dir / (std::string(name) + ".job")) << script;
    all += " " + (dir / (std::string(name) + ".job")).string();
    std::string alone = std::string(KQXL_RUN) + " -o " + (dir / "alone" / name).string() + " " +
                        (dir / (std::string(name) + ".job")).string();
    ASSERT_EQ(shell(alone), 0);
  }
  for (int round = 0; round < 4; ++round) {
    fs::remove_all(dir / "together");
    std::string together = std::string(KQXL_RUN) + " -o " + (dir / "together").string() + all;
    ASSERT_EQ(shell(together), 0);
    for (auto& [name, script] : jobs) {
      std::string alone = outputOf(dir / "alone" / name);
      EXPECT_NE(alone.find("doc 1: "), std::string::npos);
      EXPECT_EQ(outputOf(dir / "together" / name), alone) << name << " in round " << round;
    }
  }
  RunResult r = run("startdoc\nclose\n", "-o " + (dir / "x").string() + " " + (dir / "alpha.job").string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "x" / "job" / "events.jsonl"));
  EXPECT_EQ(run("startdoc\n", (dir / "alpha.job").string()).status, 2);  // several scripts need -o
}

// The examples of every kind at once, each on a printer of its own, four
// rounds: booklet, form recording, text capture, watermarks, collated copies
// and a job without settings after its printer's last one; each prints what
// it prints alone. Then once more beside two scripts that hold and release
// scans of the shared port (what prints then depends on the timing: only
// that it runs). Under ThreadSanitizer, a race fails the run.
TEST_F(Runner, AMixOfEveryKindOnSeveralPrinters) {
  const fs::path examples = KQXL_SOURCE_DIR "/examples";
  for (const char* data : {"mixed.pxl", "form.pxl", "letter.pxl", "numbered.pxl"})
    fs::copy_file(examples / data, dir / data);
  auto example = [&](const char* name) { return slurp(examples / (std::string(name) + ".job")); };
  const std::pair<std::string, std::string> jobs[] = {
      {"booklet", example("mixed-booklet")},
      {"recording", example("form-overlay")},
      {"capture", example("form-capture")},
      {"watermark", example("numbered-watermark-outline")},
      {"collated", example("numbered-collated")},
      {"plain",
       "settings reset wWatermark=1 szWatermarkText=\"PLAIN\"\nstartdoc\nwrite settings\nclose\n"
       "startdoc document=\"plain\"\nwrite text \"plain\"\nstartpage\nwrite marker watermark\nendpage\n"
       "enddoc\nclose\n"},
      {"alpha", pagesJob("Alpha", "wWatermark=1 szWatermarkText=\"ALPHA\" szWatermarkFont=\"DejaVu Sans\"")},
  };
  std::string all;
  for (auto& [name, script] : jobs) {
    fs::path file = dir / (name + ".job");
    std::ofstream(file) << "printer name=\"" << name << "\"\n" << script;
    all += " " + file.string();
    std::string alone = std::string(KQXL_RUN) + " -o " + (dir / "alone" / name).string() + " " + file.string();
    ASSERT_EQ(shell(alone), 0) << name;
  }
  std::string ports;
  for (const char* name : {"port-busy", "german-port-busy"}) {
    fs::path source = std::string(name) == "port-busy"
                          ? examples / "port-busy.job"
                          : fs::path(KQXL_SOURCE_DIR "/tests/tools/kqxl-run-win/jobs") / "german-port-busy.job";
    std::ofstream(dir / (std::string(name) + ".job")) << "printer name=\"" << name << "\"\n" << slurp(source);
    ports += " " + (dir / (std::string(name) + ".job")).string();
  }
  for (int round = 0; round < 4; ++round) {
    fs::remove_all(dir / "together");
    std::string together = std::string(KQXL_RUN) + " -o " + (dir / "together").string() + all;
    ASSERT_EQ(shell(together), 0) << "round " << round;
    for (auto& [name, script] : jobs)
      EXPECT_TRUE(outputOf(dir / "together" / name) == outputOf(dir / "alone" / name)) << name << " in round " << round;
  }
  // The port scripts turn port sharing on and change the locale for the
  // whole machine: beside them the others print otherwise, but print.
  fs::remove_all(dir / "together");
  std::string withPorts = std::string(KQXL_RUN) + " -o " + (dir / "together").string() + all + ports;
  EXPECT_EQ(shell(withPorts), 0);
}

// A script is checked whole before anything plays: a mistake on its last
// line leaves no output behind, and a mistyped name says the nearest one.
TEST_F(Runner, MistakesAreFoundBeforeAnythingPlays) {
  RunResult r =
      run("settings wReverseOrder=1\nstartdoc\nwrite text \"x\"\nclose\nstartdok\n", "-o " + (dir / "out").string());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("job.job:5: unknown directive \"startdok\"; did you mean \"startdoc\"?"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir / "out" / "doc-1.prn"));
  r = run("settings wWatermarkSze=72\n");
  EXPECT_NE(r.err.find("unknown settings field \"wWatermarkSze\"; did you mean \"wWatermarkSize\"?"), std::string::npos)
      << r.err;
  // A missing host file, a hook after the job's close and a word a
  // directive does not take, each on the script's last line: nothing plays.
  const std::string job = "startdoc\nwrite settings\nstartpage\nendpage\nenddoc\n";
  const std::pair<const char*, const char*> lateMistakes[] = {
      {"write file \"absent.pxl\"\nclose\n", "job.job:6: no host file \"absent.pxl\" ("},
      {"close\nwrite text \"x\"\n", "job.job:7: write after close: the job has ended; a startdoc begins the next one"},
      {"startpage 7\n", "job.job:6: \"7\" is one word too many; usage: startpage, with nothing after it"},
      {"enddoc now\n", "job.job:6: \"now\" is one word too many"},
      {"close twice\n", "job.job:6: \"twice\" is one word too many"},
      {"write marker page-start 1 2\n", "job.job:6: \"2\" is one word too many; usage: write marker KIND"},
      {"write file \"x.pxl\" lenght=3\n",
       "job.job:6: \"lenght=\" is not an argument of write; did you mean \"length\"? usage: write file"},
      {"write flie \"x.pxl\"\n", "job.job:6: unknown write \"flie\"; did you mean \"file\"? usage: write settings | "},
  };
  for (auto& [tail, said] : lateMistakes) {
    fs::remove_all(dir / "late");
    r = run(job + tail, "-o " + (dir / "late").string());
    EXPECT_EQ(r.status, 2) << tail;
    EXPECT_NE(r.err.find(said), std::string::npos) << tail << r.err;
    EXPECT_FALSE(fs::exists(dir / "late" / "doc-1.prn")) << tail;
  }
  r = run("startdoc document=\"x\" bogus=1\n");
  EXPECT_NE(r.err.find("job.job:1: \"bogus=\" is not an argument of startdoc; usage: startdoc [job=N] [document="),
            std::string::npos)
      << r.err;
  r = run("startdoc documnet=\"x\"\n");
  EXPECT_NE(r.err.find("not an argument of startdoc; did you mean \"document\"?"), std::string::npos) << r.err;
}

// The terminal says what happened: why a job lost something (the
// component's reason), a hook's failures in a row as one line, and what a
// printer makes of each port document.
TEST_F(Runner, TheTerminalSaysWhatHappened) {
  jobkit::MakeJobOptions options;
  options.settings = {"wOverlayMode=2", "szOverlayFile=C:\\WINDOWS\\form.ovl"};
  std::string script, error;
  ASSERT_TRUE(jobkit::makeJob(KQXL_SOURCE_DIR "/examples/numbered.pxl", options, &script, &error)) << error;
  RunResult r = run(script, "-o " + (dir / "out").string());
  EXPECT_NE(r.err.find("trace: Overlay recording to \"C:\\WINDOWS\\form.ovl\" refused"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("failed hook: DrvSplWritePrinter ("), std::string::npos) << r.err;
  // A form that is not there, or a path that is no full path: the reason
  // once a job, on the terminal and in the log, whatever the page count.
  const std::pair<const char*, const char*> forms[] = {
      {"C:\\forms\\none.ovl",
       "trace: KQXLO: \"C:\\forms\\none.ovl\" is no form that can be printed: there is no such file.\n"},
      {"forms\\x.ovl", "trace: The job's form \"forms\\x.ovl\" is not opened: it is not a full path to a file.\n"},
  };
  for (auto& [form, reason] : forms) {
    options.settings = {"wOverlayMode=1", std::string("szOverlayFile=") + form};
    ASSERT_TRUE(jobkit::makeJob(KQXL_SOURCE_DIR "/examples/numbered.pxl", options, &script, &error)) << error;
    fs::remove_all(dir / "forms");
    r = run(script, "-o " + (dir / "forms").string());
    size_t at = r.err.find(reason);
    EXPECT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(reason, at + 1), std::string::npos) << "said once: " << r.err;
    std::string events = slurp(dir / "forms" / "events.jsonl");
    size_t said = events.find("KQXLO: "), again = said == std::string::npos ? said : events.find("KQXLO: ", said + 1);
    EXPECT_EQ(again, std::string::npos) << events;
  }
  options.settings = {};
  ASSERT_TRUE(jobkit::makeJob(KQXL_SOURCE_DIR "/examples/numbered.pxl", options, &script, &error)) << error;
  r = run(script, "-o " + (dir / "out2").string());
  EXPECT_NE(r.err.find("in doc-1.prn: 6 pages, well formed\n"), std::string::npos) << r.err;
  r = run("startdoc\nwrite settings\nwrite text \"not PCL XL\"\nclose\n", "-o " + (dir / "out3").string());
  EXPECT_NE(r.err.find("in doc-1.prn: NOT WELL FORMED"), std::string::npos) << r.err;
}

// The verdict is made as the port writes the document, in whatever pieces
// the writes come: it must be what the file itself reads as.
TEST_F(Runner, TheVerdictAsWrittenIsTheFilesVerdict) {
  jobkit::MakeJobOptions options;
  options.chunk = 7;  // tokens, attribute lists and image data cut across writes
  std::string script, error;
  ASSERT_TRUE(jobkit::makeJob(KQXL_SOURCE_DIR "/examples/numbered.pxl", options, &script, &error)) << error;
  RunResult r = run(script, "-o " + (dir / "small").string());
  EXPECT_EQ(jobkit::verdictOfFile(dir / "small" / "doc-1.prn"), "6 pages, well formed");
  EXPECT_NE(r.err.find("in doc-1.prn: 6 pages, well formed\n"), std::string::npos) << r.err;
  // Cut short in its last page: the file's verdict and the terminal's agree.
  size_t lastEndPage = script.rfind("endpage");
  ASSERT_NE(lastEndPage, std::string::npos);
  r = run(script.substr(0, script.rfind("write", lastEndPage)) + "endpage\nenddoc\nclose\n",
          "-o " + (dir / "short").string());
  std::string verdict = jobkit::verdictOfFile(dir / "short" / "doc-1.prn");
  EXPECT_EQ(verdict.rfind("NOT WELL FORMED", 0), 0u) << verdict;
  EXPECT_NE(r.err.find("in doc-1.prn: " + verdict + "\n"), std::string::npos) << r.err;
  r = run("startdoc\nenddoc\nclose\n", "-o " + (dir / "none").string());
  EXPECT_NE(r.err.find("in doc-1.prn: empty\n"), std::string::npos) << r.err;
}

}  // namespace
