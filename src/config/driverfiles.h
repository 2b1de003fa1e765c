// The driver's files: its base name and directory, the language INI file
// beside it and the model-feature table.
#pragma once

#include "config/printerinfo.h"
#include <span>

#include "job/record.h"

// One row of a model-feature table: an INI section, key and default.
struct MODEL_FEATURE {
  DWORD dwIndex;
  LPCWSTR szSection;
  LPCWSTR szKey;
  DWORD dwDefault;
};

constexpr int MODEL_FEATURE2_ROWS = 10;
extern const MODEL_FEATURE ModelFeature2[MODEL_FEATURE2_ROWS];

constexpr SHORT FEATURE_PORT_CONTENTION = 2;
constexpr SHORT FEATURE_BOOKLET_ORDER = 8;

DWORD ConvertChartoHex(CHAR* szText);
void GetLanguageSuffix(std::span<WCHAR> szSuffix);
BOOL GetMultiLangINIFile(HANDLE hPrinter, WCHAR (&szIniPath)[MAX_PATH]);
INT GetModelFeature2(const MODEL_FEATURE* table, SHORT iRow, LPCWSTR szIniPath);

// The printer's feature record, the printer data value "MDL_FEATURE", in a
// zero-filled 84-byte buffer (its type is ignored). FALSE when there is no
// printer or the value cannot be read; the buffer then stays zero.
constexpr DWORD MDL_FEATURE_SIZE = 84;
BOOL ReadMdlFeature(HANDLE hPrinter, BYTE (&feature)[MDL_FEATURE_SIZE]);
// The feature record's little-endian word at `offset`.
inline WORD MdlFeatureWord(const BYTE (&feature)[MDL_FEATURE_SIZE], DWORD offset) {
  return static_cast<WORD>(feature[offset] | feature[offset + 1] << 8);
}
// 0x0100 at offset 78: the first pass of a manual duplex or software
// booklet goes from the last sheet down.
inline bool MdlFirstPassDescending(const BYTE (&feature)[MDL_FEATURE_SIZE]) {
  return MdlFeatureWord(feature, 78) == 0x0100;
}
// 1 at offset 76: the device picks the sides that open with the alternate
// BeginPage snippet.
inline bool MdlPicksAltBeginPage(const BYTE (&feature)[MDL_FEATURE_SIZE]) { return MdlFeatureWord(feature, 76) == 1; }
// Whether the printer's feature record asks for a descending first pass;
// false when it cannot be read.
bool FirstPassDescending(HANDLE hPrinter);

// The language INI file's text for section/key, or the default, in out;
// its length. A file found but not read is traced: its default may not be
// what the administrator set.
DWORD ReadIniText(LPCWSTR szIniPath, LPCWSTR szSection, LPCWSTR szKey, LPCWSTR szDefault, LPWSTR out, DWORD cchOut);
// The same for a number.
INT ReadIniInt(LPCWSTR szIniPath, LPCWSTR szSection, LPCWSTR szKey, INT nDefault);
