// Job script syntax.
#include <gtest/gtest.h>

#include "jobkit/player.h"
#include "jobkit/simhost.h"
#include "support/test_machine.h"

#include <winspool.h>

#include <sstream>

namespace {

std::vector<jobkit::Directive> parse(const std::string& text) {
  std::vector<jobkit::Directive> d;
  jobkit::ScriptError e;
  EXPECT_TRUE(jobkit::parseScript(text, &d, &e)) << e.line << ": " << e.message;
  return d;
}

TEST(JobScript, StringsEscapesAndWindowsPaths) {
  auto d = parse(R"(file "C:\WINDOWS\TEMP\a.txt" text "q\"\\\n\x41\xZZ" # comment "x")");
  ASSERT_EQ(d.size(), 1u);
  ASSERT_EQ(d[0].args.size(), 3u);
  EXPECT_EQ(d[0].args[0].value, "C:\\WINDOWS\\TEMP\\a.txt");
  EXPECT_EQ(d[0].args[2].value, "q\"\\\nA\\xZZ");
  EXPECT_TRUE(d[0].args[2].quoted);
}

TEST(JobScript, KeyedValuesNumbersAndLines) {
  auto d = parse(
      "\n# only a comment\nprinter name=\"KQ Two\" port=LPT1:\n  settings dmCopies=0x10 szWatermarkText=\"A B\"\n");
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].line, 3);
  EXPECT_EQ(d[0].args[0].key, "name");
  EXPECT_EQ(d[0].args[0].value, "KQ Two");
  EXPECT_EQ(d[0].args[1].value, "LPT1:");
  EXPECT_EQ(d[1].args[0].value, "0x10");
  EXPECT_EQ(jobkit::parseNumber("0x10"), 16);
  EXPECT_EQ(jobkit::parseNumber("-7"), -7);
  EXPECT_FALSE(jobkit::parseNumber("12a"));
  EXPECT_EQ(jobkit::parseNumber("0x7FFFFFFFFFFFFFFF"), 0x7FFFFFFFFFFFFFFFLL);
  EXPECT_FALSE(jobkit::parseNumber("0xC111111111111111"));  // beyond 64 signed bits: refused, not wrapped
}

TEST(JobScript, ErrorsNameTheirLine) {
  std::vector<jobkit::Directive> d;
  jobkit::ScriptError e;
  EXPECT_FALSE(jobkit::parseScript("startdoc\nwrite text \"open\n", &d, &e));
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.message, "string without its closing quote");
}

// A script read from a stream, in chunks, reads as the same text does: the
// same directives and lines, with CRLF endings, no newline at the end, lines
// that straddle chunks and a line longer than a chunk; an error stops the
// reading.
TEST(JobScript, ReadFromAStreamAsFromText) {
  std::string text = "printer name=\"KQ Two\" port=LPT1:\r\n\r\n  # c\r\n";
  for (int i = 0; i < 3000; ++i) text += "write hex" + std::string(" 1B") + std::string(i % 7, 'x') + "\n";
  text += "write hex";
  for (int i = 0; i < 20000; ++i) text += " 7F";
  text += "\r\nstartpage\r\nenddoc job=3";
  std::istringstream in(text);
  jobkit::ScriptReader reader(in);
  jobkit::Directive d;
  jobkit::ScriptError e;
  std::vector<jobkit::Directive> read;
  while (reader.next(&d, &e)) read.push_back(d);
  EXPECT_TRUE(e.message.empty());
  auto expected = parse(text);
  ASSERT_EQ(read.size(), expected.size());
  for (size_t i = 0; i < read.size(); ++i) {
    ASSERT_EQ(read[i].line, expected[i].line);
    ASSERT_EQ(read[i].verb, expected[i].verb);
    ASSERT_EQ(read[i].args.size(), expected[i].args.size()) << read[i].line;
    for (size_t k = 0; k < read[i].args.size(); ++k) {
      ASSERT_EQ(read[i].args[k].key, expected[i].args[k].key);
      ASSERT_EQ(read[i].args[k].value, expected[i].args[k].value) << read[i].line;
    }
  }
  EXPECT_EQ(read.back().line, 3006);
  EXPECT_EQ(read[3001].args.size(), 20001u);

  std::istringstream bad("startdoc\n\"quoted\" verb\nenddoc\n");
  EXPECT_FALSE(jobkit::checkScript(bad, &e));
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.message, "a line begins with a directive");
}

TEST(SettingsRecord, DefaultsAndFieldsLandAtTheirOffsets) {
  auto r = jobkit::SettingsBuilder{}.with("wReverseOrder", 3).withText("szWatermarkText", "DRAFT").build(u"P");
  ASSERT_EQ(r.size(), 1625u);
  auto word = [&](size_t at) { return r[at] | (r[at + 1] << 8); };
  EXPECT_EQ(word(0), 'P');
  EXPECT_EQ(word(68), 220);
  EXPECT_EQ(word(70), 1405);
  EXPECT_EQ(word(76), 1);
  EXPECT_EQ(word(84), 100);
  EXPECT_EQ(word(86), 1);
  EXPECT_EQ(word(914), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[1006]), 6), std::string("DRAFT\0", 6));
  std::string error;
  jobkit::SettingsBuilder b;
  EXPECT_FALSE(b.set("wCollate", "70000", false, &error));
  EXPECT_FALSE(b.set("wNothing", "1", false, &error));
}

TEST(JobScript, MachineDirectivesSetTheMachineUp) {
  test::TestMachine m;
  m.hostFile("form.ovl", "overlay bytes");
  m.play(R"(printer name="KQ Two" port="LPT1:"
printer-data MDL_FEATURE size=84 76=1 78=0x0100
registry "HKCU\Software\KQPrint\KQXL" Count dword 7
registry "HKCU\Software\KQPrint\KQXL" Name sz "text"
registry "HKCU\Software\KQPrint\KQXL" Name delete
file "C:\forms\copy.ovl" from "form.ovl"
file "C:\forms\gone.txt" text "x"
delete "C:\forms\gone.txt"
folder "C:\forms\empty\below"
ini "C:\\test.ini" Sec Key "Value"  # \\ before t, which would be a tab
answer CANCEL YES
)");
  auto two = m->printer(u"KQ Two");
  ASSERT_TRUE(two);
  EXPECT_EQ(two->port, u"LPT1:");
  const auto& feature = two->data.at(u"MDL_FEATURE");
  ASSERT_EQ(feature.size(), 84u);
  EXPECT_EQ(feature[76], 1);
  EXPECT_EQ(feature[78], 0x00);
  EXPECT_EQ(feature[79], 0x01);
  EXPECT_EQ(m->registryString(u"HKCU\\Software\\KQPrint\\KQXL", u"Name"), std::nullopt);
  EXPECT_EQ(test::TestMachine::slurpHost(m->hostPath(u"C:\\forms\\copy.ovl")), "overlay bytes");
  EXPECT_FALSE(winsim::fs::exists(m->hostPath(u"C:\\forms\\gone.txt")));
  EXPECT_EQ(GetFileAttributesW(u"C:\\forms\\empty\\below"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  WCHAR value[16];
  GetPrivateProfileStringW(u"sec", u"key", u"", value, 16, u"C:\\test.ini");
  EXPECT_EQ(std::u16string(value), u"Value");
  EXPECT_EQ(MessageBoxW(nullptr, u"q", nullptr, MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"q", nullptr, MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxW(nullptr, u"q", nullptr, MB_YESNO), IDYES);  // the queue is empty: the first button
}

// `write file` reads its host file ahead in large pieces; ranges that jump
// back, overlap, straddle a piece or outgrow it must still be the file's.
TEST(JobScript, FileRangesArriveAsInTheFile) {
  test::TestMachine m;
  std::string bytes(700 * 1024, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  m.hostFile("doc.bin", bytes);
  struct Range {
    size_t offset, length, chunk;
  };
  const Range ranges[] = {{0, 1000, 300},          {262000, 2000, 2000},        {100, 50, 50},
                          {250000, 300000, 65536}, {0, 700 * 1024, 400 * 1024}, {699 * 1024, 1024, 7}};
  std::string script = "settings reset wBypass=1\nstartdoc\nwrite settings\n", expected;
  for (auto& r : ranges) {
    script += "write file \"doc.bin\" offset=" + std::to_string(r.offset) + " length=" + std::to_string(r.length) +
              " chunk=" + std::to_string(r.chunk) + "\n";
    expected += bytes.substr(r.offset, r.length);
  }
  m.play(script + "enddoc\nclose\n");
  EXPECT_TRUE(m.document(1) == expected);

  jobkit::SimHost host(m.machine());
  jobkit::Player player(host, m.dir());
  jobkit::ScriptError e;
  EXPECT_FALSE(player.run(jobkit::ScriptReader("startdoc\nwrite file \"doc.bin\" offset=716750 length=100\n"), &e));
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.message, "range outside " + (m.dir() / "doc.bin").string());
  EXPECT_FALSE(player.run(jobkit::ScriptReader("startdoc\nstartpages\n"), &e));
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.message, "unknown directive \"startpages\"; did you mean \"startpage\"?");
}

// cancel: when the user cancels the job, told before anything plays.
TEST(JobScript, CancelSaysWhenOrIsAScriptError) {
  std::string error;
  auto check = [&](std::vector<jobkit::Token> args) {
    error.clear();
    return jobkit::Player::check(jobkit::Directive{1, "cancel", args}, &error);
  };
  EXPECT_TRUE(check({}));
  EXPECT_TRUE(check({{"writes", "3"}}));
  EXPECT_TRUE(check({{"", "box"}}));
  EXPECT_TRUE(check({{"", "document-end"}}));
  for (auto args : std::vector<std::vector<jobkit::Token>>{
           {{"writes", "0"}}, {{"", "later"}}, {{"", "box"}, {"", "box"}}, {{"nth", "2"}}}) {
    EXPECT_FALSE(check(args));
    EXPECT_FALSE(error.empty());
  }
  test::TestMachine m;
  jobkit::SimHost host(m.machine());
  jobkit::Player player(host, m.dir());
  jobkit::ScriptError e;
  EXPECT_FALSE(player.run(jobkit::ScriptReader("cancel\n"), &e));
  EXPECT_EQ(e.message, "cancel before startdoc");
}

TEST(JobScript, RefusedJobsGetNoMoreHookCalls) {
  test::TestMachine m;
  m->deleteFile(std::u16string(test::kDriverDir) + u"KQXLO.DLL");
  m.play("startdoc\nwrite text \"x\"\nstartpage\nclose\n");
  ASSERT_EQ(m.hooks().size(), 1u);
  EXPECT_TRUE(m.hooks()[0].handleNull);
}

// A path never turns into another one: "C:\reports\r.ovl" would name a
// carriage return, so a letter escape in any path argument is a script
// error naming its line; \\ and \xHH say what they mean, and texts that are
// not paths keep their escapes.
TEST(JobScript, LetterEscapesInPathsAreScriptErrors) {
  test::TestMachine m;
  jobkit::SimHost host(m.machine());
  jobkit::Player player(host, m.dir());
  const char* paths[] = {R"(file "C:\reports\r.ovl" text "x")",
                         R"(file "C:\a.txt" from "data\new.bin")",
                         R"(delete "C:\temp\x.txt")",
                         R"(ini "C:\forms\new.ini" S K "V")",
                         R"(registry "HKCU\Software\new" V sz "x")",
                         R"(printer name="P" path="C:\drivers\new\KQXL.DLL")",
                         R"(settings wOverlayMode=2 szOverlayFile="C:\forms\new.ovl")",
                         R"(write file "data\tab.bin")"};
  for (const char* line : paths) {
    jobkit::ScriptError e;
    EXPECT_FALSE(player.run(jobkit::ScriptReader(std::string("settings reset\nstartdoc\n") + line + "\n"), &e)) << line;
    EXPECT_EQ(e.line, 3) << line;
    EXPECT_NE(e.message.find(" in a path is a control character: write \\\\"), std::string::npos) << e.message;
  }
  jobkit::ScriptError e;
  EXPECT_TRUE(player.run(jobkit::ScriptReader(R"(file "C:\\reports\\r.ovl" text "a\r\n"
file "C:\x41.txt" text "\tb"
settings szOverlayFile="C:\\forms\\n\x0Dw.ovl" szWatermarkText="a\nb"
)"),
                         &e))
      << e.message;
  EXPECT_EQ(test::TestMachine::slurpHost(m->hostPath(u"C:\\reports\\r.ovl")), "a\r\n");
  EXPECT_EQ(test::TestMachine::slurpHost(m->hostPath(u"C:\\A.txt")), "\tb");
}

}  // namespace
