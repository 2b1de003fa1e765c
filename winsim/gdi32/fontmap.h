// The Windows font mapper in this machine's fonts: which installed face
// draws a LOGFONT's text, and where the characters it lacks come from.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace winsim::gdi {

// The faces a Windows set to ANSI code page `acp` would draw with, named as
// the free fonts that stand for them here (fontconfig family names).
struct FaceChoice {
  // The face to draw with, then what stands in when it is not installed.
  std::vector<std::string> faces;
  // Where a character the face lacks is drawn from, in order: the font
  // links (SystemLink) of a Windows of that language.
  std::vector<std::string> links;
  BYTE charset = ANSI_CHARSET;  // the character set of the face chosen
};

FaceChoice chooseFace(std::u16string_view faceName, BYTE charset, UINT acp);

// Every Windows face of the table, by each of its names, with its stand-in.
std::vector<std::pair<std::u16string, std::string>> faceStandIns();

// TranslateCharsetInfo's table: the character set of an ANSI code page and
// back; false for one Windows does not know.
bool charsetOfCodePage(UINT codePage, UINT* charset);
bool codePageOfCharset(UINT charset, UINT* codePage);

}  // namespace winsim::gdi
