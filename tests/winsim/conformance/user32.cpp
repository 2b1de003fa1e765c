// user32: upper case, formatted texts and the message box's refusals.
#include "conformance.h"

namespace conformance {
namespace {

TEST(Text, UpperCaseInEveryScript) {
  WString s = W("abc ß é ñ ω я 社外秘 עברית ภาษาไทย tiếng việt");
  CharUpperW(&s[0]);
  EXPECT_EQ(W("ABC ß É Ñ Ω Я 社外秘 עברית ภาษาไทย TIẾNG VIỆT"), s);
  // One character, passed in the pointer's low word.
  LPWSTR one = CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(TEXT('q'))));
  EXPECT_EQ(static_cast<ULONG_PTR>(TEXT('Q')), reinterpret_cast<ULONG_PTR>(one));
}

int Format(WCHAR* out, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(out, format, args);
  va_end(args);
  return n;
}

TEST(Text, FormattedTexts) {
  WCHAR out[1100];
  int n = wsprintfW(out, TEXT("%s|%d|%u|%x|%08X|%c|%-4d|%5s|%%"), W("帳票").c_str(), -7, 7u, 255u, 0xABCu, TEXT('z'), 3,
                    TEXT("ab"));
  EXPECT_EQ(W("帳票|-7|7|ff|00000ABC|z|3   |   ab|%"), WString(out, static_cast<size_t>(n)));
  n = Format(out, TEXT("%ls-%lu"), TEXT("page"), 12ul);
  EXPECT_EQ(WString(TEXT("page-12")), WString(out, static_cast<size_t>(n)));
  // Never more than 1024 characters (whether the last is a NUL, Windows
  // versions differ).
  WString longText(2000, TEXT('x'));
  n = wsprintfW(out, TEXT("%s"), longText.c_str());
  EXPECT_GE(n, 1023);
  EXPECT_LE(n, 1024);
}

TEST(Boxes, AnOwnerThatIsNoWindowIsRefused) {
  if (Known(Difference::WineMessageBoxOwner)) GTEST_SKIP();
  SetLastError(0);
  EXPECT_EQ(0,
            MessageBoxW(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234)), TEXT("text"), TEXT("caption"), MB_OK));
  EXPECT_LAST_ERROR(ERROR_INVALID_WINDOW_HANDLE);
}

}  // namespace
}  // namespace conformance
