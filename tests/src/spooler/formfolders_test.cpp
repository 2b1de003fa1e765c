// Where a job may record a form: every spelling of a place it must not
// write, and the places it may.
#include <gtest/gtest.h>

#include <algorithm>

#include "spooler/formfolders.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;

struct FormFolders : ::testing::Test {
  test::TestMachine m;
  HANDLE printer = nullptr;
  void SetUp() override {
    m->writeFile(u"C:\\forms\\about.txt", "forms");
    m->writeFile(u"C:\\Users\\me\\Documents\\notes.txt", "mine");
    printer = winsim::OpenPrinterHandle(test::kPrinter);
  }
  void TearDown() override { winsim::ClosePrinterHandle(printer); }

  // The file the rules let a recording write, or "" with the trace's reason.
  std::u16string target(const std::u16string& path) {
    RecordingTarget t{};
    size_t traces = m->traces().size();
    if (FindRecordingTarget(printer, path.c_str(), &t)) return t.szPath;
    auto all = m->traces();
    return all.size() > traces ? u"refused: " + all.back() : u"refused without a trace";
  }
  std::u16string reasonOf(const std::u16string& path) {
    std::u16string r = target(path);
    size_t at = r.find(u"refused: ");
    return at == std::u16string::npos ? r : r.substr(r.rfind(u"refused: ") + 9);
  }
  void listFolders(const std::u16string& list) {
    std::vector<uint8_t> bytes;
    for (char16_t c : list + u'\0') {
      bytes.push_back(static_cast<uint8_t>(c & 0xFF));
      bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    m->setPrinterData(test::kPrinter, u"FormFolders", bytes);
  }
};

const std::u16string kNotAForm = u"a form is recorded only into a .ovl file.\n";
const std::u16string kSystem =
    u"forms are never recorded into the Windows folder, the driver folder or a system folder.\n";
const std::u16string kNotListed = u"a new form is recorded only into a folder the printer's FormFolders lists.\n";

TEST_F(FormFolders, OnlyFormsAreRecorded) {
  for (const char16_t* path : {u"C:\\forms\\x.dll", u"C:\\forms\\x.exe", u"C:\\forms\\x.sys", u"C:\\forms\\x.ini",
                               u"C:\\forms\\x.inf", u"C:\\forms\\x.ovl.dll", u"C:\\forms\\x", u"C:\\forms\\x.ovlx"})
    EXPECT_EQ(reasonOf(path), kNotAForm) << winsim::toUtf8(path);
  // What Windows makes of the name is what is checked and opened.
  EXPECT_EQ(target(u"C:/forms/./Letter.OVL. . "), u"C:\\forms\\Letter.OVL");
  EXPECT_EQ(target(u"c:\\FORMS\\x.dll.ovl"), u"c:\\forms\\x.dll.ovl");
  EXPECT_EQ(reasonOf(u"C:\\forms\\x.ovl\\..\\x.dll"), kNotAForm);
}

TEST_F(FormFolders, SystemFoldersInEverySpelling) {
  m->setShortName(u"C:\\WINDOWS", u"WINDOW~1");
  m->setShortName(u"C:\\WINDOWS\\system32", u"SYSTEM~1");
  m->writeFile(u"C:\\Program Files\\App\\a.txt", "");
  m->writeFile(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\a.txt", "");
  m->writeFile(u"C:\\Users\\me\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\a.txt", "");
  listFolders(
      u"C:\\;C:\\WINDOWS\\system32;C:\\Program Files\\App;C:\\Users\\me\\AppData\\Roaming\\Microsoft\\Windows"
      u"\\Start Menu\\Programs\\Startup");  // even where an administrator lists them
  for (const char16_t* path :
       {u"C:\\WINDOWS\\system32\\zuvav.ovl", u"C:\\WINDOWS\\x.ovl", u"c:/windows/SYSTEM32/x.ovl",
        u"C:\\WINDOWS\\system32\\.\\x.ovl.", u"C:\\WINDOWS.\\system32\\x.ovl ", u"C:\\WINDOW~1\\SYSTEM~1\\x.ovl",
        u"C:\\Users\\..\\WINDOWS\\system32\\x.ovl", u"\\\\localhost\\C$\\WINDOWS\\system32\\x.ovl",
        u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXLEN.ovl", u"C:\\Program Files\\App\\x.ovl",
        u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\x.ovl",
        u"C:\\Users\\me\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\x.ovl"})
    EXPECT_NE(target(path).find(u"refused"), std::u16string::npos) << winsim::toUtf8(path);
  EXPECT_EQ(reasonOf(u"C:\\WINDOW~1\\SYSTEM~1\\x.ovl"), kSystem);
  EXPECT_EQ(reasonOf(u"C:\\Program Files\\App\\x.ovl"), kSystem);
  // Device paths, streams and devices are no plain file paths.
  for (const char16_t* path : {u"\\\\?\\C:\\WINDOWS\\system32\\x.ovl", u"\\\\.\\C:\\forms\\x.ovl", u"forms\\x.ovl"})
    EXPECT_EQ(reasonOf(path), u"it is not a full path to a file.\n") << winsim::toUtf8(path);
  EXPECT_EQ(reasonOf(u"C:\\forms\\x.ovl:zuvav.dll"), u"it names a stream of a file.\n");
  EXPECT_EQ(reasonOf(u"C:\\forms\\CON.ovl"), u"it names a device.\n");
}

TEST_F(FormFolders, TheDriverFolderWhereverItIs) {
  m->writeFile(u"C:\\drivers\\KQXL.DLL", "");
  auto config = *m->printer(test::kPrinter);
  config.driverPath = u"C:\\drivers\\KQXL.DLL";
  m->setPrinter(config);
  listFolders(u"C:\\drivers;C:\\forms");
  EXPECT_EQ(reasonOf(u"C:\\drivers\\KQXLEN.ovl"), kSystem);
  EXPECT_EQ(target(u"C:\\forms\\a.ovl"), u"C:\\forms\\a.ovl");
  // A driver folder that cannot be told keeps every recording out.
  config.driverPath = u"C:\\drivers\\KQXL";
  m->setPrinter(config);
  EXPECT_EQ(reasonOf(u"C:\\forms\\a.ovl"), kSystem);
}

TEST_F(FormFolders, NewFormsOnlyInTheListedFolders) {
  // By default: \forms on the Windows drive, and only that folder.
  EXPECT_EQ(target(u"C:\\forms\\a.ovl"), u"C:\\forms\\a.ovl");
  m->writeFile(u"C:\\forms\\sub\\a.txt", "");
  for (const char16_t* path :
       {u"C:\\Users\\me\\Documents\\a.ovl", u"C:\\forms\\sub\\a.ovl", u"C:\\a.ovl", u"\\\\localhost\\C$\\forms\\a.ovl"})
    EXPECT_EQ(reasonOf(path), kNotListed) << winsim::toUtf8(path);
  EXPECT_EQ(reasonOf(u"C:\\nowhere\\a.ovl"), u"its folder does not exist.\n");
  // A path whose attributes cannot be read is not taken for a new file.
  m->addFault({"GetFileAttributesW", 1});
  EXPECT_EQ(reasonOf(u"C:\\forms\\a.ovl"), u"it cannot be looked at.\n");

  listFolders(u" C:\\Users\\me\\Documents\\ ; relative\\forms;\\\\?\\C:\\forms;C:\\forms\\sub:x");
  EXPECT_EQ(target(u"C:\\Users\\ME\\documents\\a.ovl"), u"C:\\Users\\me\\Documents\\a.ovl");
  EXPECT_EQ(reasonOf(u"C:\\forms\\a.ovl"), kNotListed);  // the list replaces the default
  EXPECT_EQ(reasonOf(u"C:\\WINDOWS\\system32\\relative\\forms\\a.ovl"), u"its folder does not exist.\n");
  listFolders(u"");
  EXPECT_EQ(reasonOf(u"C:\\Users\\me\\Documents\\a.ovl"), kNotListed);

  // An existing form elsewhere may be recorded again: what lies there is
  // checked by the prompt (a recorded form or nothing).
  m->writeFile(u"C:\\Users\\me\\Documents\\old.ovl", "");
  EXPECT_EQ(target(u"C:\\Users\\me\\Documents\\old.ovl"), u"C:\\Users\\me\\Documents\\old.ovl");
}

// The job that would have put its page where the scanner component is
// loaded from, on a machine without one, with port contention switched on
// from the user's own INI file: nothing is made in system32, no user file is
// read as the driver's INI file, and nothing is loaded.
TEST(FormRecording, CannotMakeAModuleTheSpoolerLoads) {
  test::TestMachine m;
  fs::path evil = m.hostFile("evil.so",
                             "\x7F"
                             "ELF not really");
  m.play(R"(delete "C:\WINDOWS\system32\zuvav.dll"
file "C:\Users\me\my.INI" text "[Function]\r\nPortContention=1\r\n"
registry "HKCU\Software\KQPrint\KQXL" DrvCntCode sz "x\..\..\..\..\..\..\..\Users\me\my"
settings reset wOverlayMode=2 szOverlayFile="C:\\WINDOWS\\system32\\zuvav.dll"
startdoc
write settings
startpage
write file "evil.so"
endpage
enddoc)");
  std::error_code ec;
  EXPECT_FALSE(fs::exists(m->hostPath(u"C:\\WINDOWS\\system32\\zuvav.dll"), ec));
  ASSERT_GE(m->messageBoxes().size(), 1u);
  EXPECT_EQ(m->messageBoxes()[0].text, u"Failed to CreateFile in Create Overlay");  // not offered
  auto traces = m.traces();
  EXPECT_NE(std::find(traces.begin(), traces.end(),
                      u"Overlay recording to \"C:\\WINDOWS\\system32\\zuvav.dll\" refused: " + kNotAForm),
            traces.end());
  EXPECT_EQ(m.hooks()[1].result, 0);  // the job's first write fails
  EXPECT_EQ(test::leaksOf(m.machine()), "");
}

}  // namespace
