// Driver files, the language INI file and the per-user registry store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "config/driverfiles.h"
#include "config/printerinfo.h"
#include "config/registry.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;

struct DriverFiles : ::testing::Test {
  test::TestMachine m;
  HANDLE printer = nullptr;
  void SetUp() override { printer = winsim::OpenPrinterHandle(test::kPrinter); }
  void TearDown() override { winsim::ClosePrinterHandle(printer); }

  void setDriverPath(const std::u16string& path) {
    auto config = *m->printer(test::kPrinter);
    config.driverPath = path;
    m->setPrinter(config);
  }
  std::u16string iniFile() {
    WCHAR path[MAX_PATH] = {};
    return GetMultiLangINIFile(printer, path) ? std::u16string(path) : u"(none)";
  }
  void removeIni(const char16_t* name) { m->deleteFile(std::u16string(test::kDriverDir) + name); }
};

TEST(LanguageSuffix, FollowsTheLocaleTable) {
  test::TestMachine m;
  const std::pair<LANGID, const char16_t*> cases[] = {
      {0x0804, u"CP"}, {0x0404, u"CT"}, {0x0C04, u"CT"}, {0x1004, u"CT"}, {0x0C0C, u"FC"}, {0x040C, u"FN"},
      {0x080C, u"FN"}, {0x0816, u"PT"}, {0x0416, u"BP"}, {0x0409, u"EN"}, {0x0809, u"EN"}, {0x0415, u"EN"},
      {0x0407, u"GR"}, {0x0411, u"JP"}, {0x041D, u"SW"}, {0x0401, u"AB"}, {0x0419, u"RU"}, {0x0413, u"DT"}};
  for (auto [lang, suffix] : cases) {
    m->setLocale(lang);
    WCHAR out[8] = {};
    GetLanguageSuffix(out);
    EXPECT_EQ(std::u16string(out), suffix) << std::hex << lang;
  }
}

TEST(ConvertChartoHex, FoldsCaseInPlaceAndWraps) {
  CHAR text[] = "0C0A";
  EXPECT_EQ(ConvertChartoHex(text), 0xC0Au);
  EXPECT_STREQ(text, "0c0a");
  CHAR empty[] = "";
  EXPECT_EQ(ConvertChartoHex(empty), 0u);
  CHAR nine[] = "123456789";  // the ninth digit from the right shifts out
  EXPECT_EQ(ConvertChartoHex(nine), 0x23456789u);
}

TEST_F(DriverFiles, BaseNameAndDirectoryAreUpperCase) {
  setDriverPath(u"C:\\Drivers\\Abc.dll");
  WCHAR base[MAX_PATH] = {}, dir[MAX_PATH] = {};
  ASSERT_TRUE(GetDrvFileNameAndPath(printer, base, dir, u".DLL"));
  EXPECT_EQ(std::u16string(base), u"ABC");
  EXPECT_EQ(std::u16string(dir), u"C:\\DRIVERS\\");
}

TEST_F(DriverFiles, BaseNameInsideTheDirectoryDoesNotCutIt) {
  setDriverPath(u"C:\\KQXL\\MY.DLLS\\KQXL.DLL");
  WCHAR base[MAX_PATH] = {}, dir[MAX_PATH] = {};
  ASSERT_TRUE(GetDrvFileNameAndPath(printer, base, dir, u".DLL"));
  EXPECT_EQ(std::u16string(base), u"KQXL");
  EXPECT_EQ(std::u16string(dir), u"C:\\KQXL\\MY.DLLS\\");
}

TEST_F(DriverFiles, PathWithoutOrStartingWithThePatternFailsWithErrorZero) {
  for (auto path : {u"C:\\Drivers\\Abc.exe", u".DLL"}) {
    setDriverPath(path);
    WCHAR base[MAX_PATH] = {}, dir[MAX_PATH] = {};
    SetLastError(5);
    EXPECT_FALSE(GetDrvFileNameAndPath(printer, base, dir, u".DLL"));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(std::u16string(base), u"");
  }
  WCHAR base[MAX_PATH] = u"keep", dir[MAX_PATH] = u"keep";
  EXPECT_FALSE(GetDrvFileNameAndPath(nullptr, base, dir, u".DLL"));
  EXPECT_EQ(std::u16string(base), u"keep");
}

TEST_F(DriverFiles, IniFileFollowsLocaleThenEnglishThenU) {
  const std::u16string dir = test::kDriverDir;
  const std::u16string upper = u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\";
  m->setLocale(0x0407);
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLGR.INI");
  m->setLocale(0x040C);  // no French file: English
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLEN.INI");
  m->writeFile(dir + u"KQXLU.INI", "");
  removeIni(u"KQXLEN.INI");
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLU.INI");
  removeIni(u"KQXLGR.INI");
  m->setLocale(0x0407);
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLU.INI");
  removeIni(u"KQXLU.INI");
  EXPECT_EQ(iniFile(), u"(none)");
}

TEST_F(DriverFiles, RegistryLanguageOverridesTheLocaleUnlessEmpty) {
  const char16_t key[] = u"HKCU\\Software\\KQPrint\\KQXL";
  m->setLocale(0x0409);
  m->setRegistryString(key, u"DrvCntCode", u"GR");
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLGR.INI");
  m->setRegistryString(key, u"DrvCntCode", u"");
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLEN.INI");
  m->setRegistryString(key, u"DrvCntCode", u"XX");  // no such file: English
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLEN.INI");
  // A value that fills the whole 512-byte read still ends.
  m->setRegistryString(key, u"DrvCntCode", std::u16string(300, u'G'));
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLEN.INI");
}

// The user's registry names a language, never a file: what is not a
// language code is passed over, said so, and the locale chooses.
TEST_F(DriverFiles, LanguageCodeNeverNamesAnotherFile) {
  m->writeFile(u"C:\\Users\\me\\my.INI", "[Function]\r\nPortContention=1\r\n");
  m->setLocale(0x0407);
  const char16_t* codes[] = {u"x\\..\\..\\..\\..\\..\\..\\..\\Users\\me\\my",
                             u"\\..\\..\\..\\Users\\me\\my",
                             u"C:\\Users\\me\\my",
                             u"/../x",
                             u"GR.",
                             u"G R",
                             u"GR:x",
                             u"ABCDEFGHI"};
  for (const char16_t* code : codes) {
    m->setRegistryString(u"HKCU\\Software\\KQPrint\\KQXL", u"DrvCntCode", code);
    EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLGR.INI") << winsim::toUtf8(code);
  }
  auto t = m.traces();
  EXPECT_EQ(std::count(t.begin(), t.end(),
                       u"The language code in the user's registry (DrvCntCode) is not a language code; the locale "
                       u"chooses the language.\n"),
            static_cast<long>(std::size(codes)));
}

TEST_F(DriverFiles, ModelFeatureRowsReadTheirKey) {
  WCHAR ini[MAX_PATH];
  ASSERT_TRUE(GetMultiLangINIFile(printer, ini));
  EXPECT_EQ(GetModelFeature2(ModelFeature2, FEATURE_PORT_CONTENTION, ini), 0);
  m->setProfileString(ini, u"Function", u"PortContention", u"1");
  m->setProfileString(ini, u"Function", u"BookletOrder", u"3");
  EXPECT_EQ(GetModelFeature2(ModelFeature2, FEATURE_PORT_CONTENTION, ini), 1);
  EXPECT_EQ(GetModelFeature2(ModelFeature2, FEATURE_BOOKLET_ORDER, ini), 3);
  EXPECT_EQ(GetModelFeature2(ModelFeature2, 10, ini), 0);
}

// A key the file lacks takes its default in silence; a file that cannot be
// read says so, once a value, and so does no file at all only where it was
// looked for.
TEST_F(DriverFiles, AnUnreadableIniFileIsSaidAMissingKeyIsNot) {
  WCHAR ini[MAX_PATH];
  ASSERT_TRUE(GetMultiLangINIFile(printer, ini));
  const std::u16string said = u"The driver's INI file could not be read: [Function] NoSuchKey takes its default.\n";
  size_t before = m->traces().size();
  EXPECT_EQ(ReadIniInt(ini, TEXT("Function"), TEXT("NoSuchKey"), 7), 7);
  WCHAR text[8];
  ReadIniText(ini, TEXT("Function"), TEXT("NoSuchKey"), TEXT("d"), text, 8);
  ReadIniText(TEXT(""), TEXT("Function"), TEXT("PortContention"), TEXT("d"), text, 8);
  EXPECT_EQ(m->traces().size(), before);
  m->addFault({"GetPrivateProfileIntW", 1});
  EXPECT_EQ(ReadIniInt(ini, TEXT("Function"), TEXT("NoSuchKey"), 7), 7);
  ASSERT_EQ(m->traces().size(), before + 1);
  EXPECT_EQ(m->traces().back(), said);
}

TEST_F(DriverFiles, RegistryStoreValuesAndCodes) {
  HKEY key = reinterpret_cast<HKEY>(1);
  GetCurrentUserKeyAccess();
  EXPECT_EQ(GetKQPrintRegKey(&key, u"KQXL", u"\\DIZ\\Overlay Data"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(GetKQPrintRegKey(nullptr, u"KQXL", u""), REG_MISSING_ARGUMENT);
  ASSERT_EQ(CreateKQPrintRegKey(printer, &key, u"\\DIZ\\Overlay Data"), ERROR_SUCCESS);
  KeepIntValToReg(key, u"Overlay Message", 1);
  KeepIntValToReg(key, u"Negative", -12);
  RegCloseKey(key);

  ASSERT_EQ(GetKQPrintRegKey(&key, u"KQXL", u"\\DIZ\\Overlay Data"), ERROR_SUCCESS);
  BYTE buf[64] = {};
  DWORD type = 0, size = sizeof buf;
  ASSERT_EQ(RegQueryValueExW(key, u"Overlay Message", nullptr, &type, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buf)), u"1");
  size = sizeof buf;
  RegQueryValueExW(key, u"Negative", nullptr, &type, buf, &size);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buf)), u"-12");
  RegCloseKey(key);

  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(GetSZValFromReg(nullptr, u"x", buf, sizeof buf), REG_MISSING_ARGUMENT);
  EXPECT_EQ(buf[0], 0x55);
  EXPECT_EQ(test::leaksOf(m.machine()), "");
}

TEST_F(DriverFiles, LanguageCodeOfAnyTypeIsReadAsBytes) {
  m->setRegistryDword(u"HKCU\\Software\\KQPrint\\KQXL", u"DrvCntCode", 0x00520047);  // "GR" as UTF-16
  m->setLocale(0x0409);
  EXPECT_EQ(iniFile(), u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\W32X86\\2\\KQXLGR.INI");
}

}  // namespace

// A 64-bit spooler keeps its drivers in x64\3: the driver's files are
// written and read there, and nothing goes into the 32-bit drivers' folder.
TEST(DriverFolder, EveryDriverFileIsInTheDriversOwnFolder) {
  test::TestMachine m;
  const std::u16string x64 = u"C:\\WINDOWS\\system32\\spool\\drivers\\x64\\3\\";
  const fs::path image = fs::path(KQXL_MACHINE_IMAGE) / "WINDOWS/system32/spool/drivers/w32x86/2";
  for (const auto& entry : fs::directory_iterator(image))
    m->copyFileIn(x64 + jobkit::utf16Of(entry.path().filename().string()), entry.path());
  m->writeFile(x64 + u"INSTPORT.PXL", "the instruction page of the 64-bit driver");
  auto config = *m->printer(test::kPrinter);
  config.driverPath = x64 + u"KQXL.DLL";
  config.configFile = x64 + u"KQXLUMPD.DLL";
  m->setPrinter(config);

  WCHAR folder[MAX_PATH] = {};
  HANDLE printer = winsim::OpenPrinterHandle(test::kPrinter);
  EXPECT_TRUE(DriverFolder(printer, folder));
  EXPECT_EQ(std::u16string(folder), x64);
  winsim::ClosePrinterHandle(printer);

  m.play(R"(settings wWatermark=1 szWatermarkText="X64" wWatermarkSize=72 wManualDuplex=1 wInstructionPage=1
ini "C:\WINDOWS\system32\spool\drivers\\x64\3\KQXLEN.INI" DUPLEX MD_ManualDuplex "2"
startdoc
write settings
write marker page-start 1
startpage
write text "page one"
write marker watermark
endpage
write marker pages-end
enddoc
close)");
  std::string watermark = test::TestMachine::slurpHost(m->hostPath(x64 + u"kqpcl6.wmk"));
  ASSERT_FALSE(watermark.empty());
  EXPECT_FALSE(fs::exists(m->hostPath(std::u16string(test::kDriverDir) + u"kqpcl6.wmk")));
  EXPECT_NE(m.document(1).find("the instruction page of the 64-bit driver"), std::string::npos);
  EXPECT_NE(m.document(1).find("\x61\x69\xC0\xFC\xF8\x2C\x7B" + watermark + "\x60"), std::string::npos);

  // The capture file is made beside the driver too: failing it there fails the capture.
  m.play(R"(settings reset
settings wTextCapture=1
fail CreateFileW path="*\\x64\\3\\textout.teq"
startdoc
write settings
write marker capture-start
close)");
  ASSERT_FALSE(m->messageBoxes().empty());
  EXPECT_EQ(m->messageBoxes().back().text, u"Could not create temporary file.");
}
