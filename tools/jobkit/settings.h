// Builds the 1625-byte settings record from FIELD=VALUE assignments, by the
// field names of the component's record. Shared by kqxl-run, kqxl-mkjob and
// the tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobkit/text.h"

namespace jobkit {

enum class FieldKind { Word, Short, Long, Dword, Byte, Ansi, Wide };

struct SettingsField {
  const char* name;
  size_t offset;
  FieldKind kind;
  size_t width;  // bytes for Ansi, characters for Wide
};

// Every field a job script may set, public DEVMODE fields and private ones.
const std::vector<SettingsField>& settingsFields();
const SettingsField* findSettingsField(std::string_view name);
// "unknown settings field" and the nearest field's name, if one is near.
std::string unknownField(std::string_view field);

class SettingsBuilder {
 public:
  // The defaults: dmDeviceName the printer's name, dmSize 220, dmDriverExtra
  // 1405, dmOrientation 1, dmPaperSize 9, dmScale 100, dmCopies 1,
  // dmPrintQuality and dmYResolution 600, everything else 0.
  void reset();
  // A number for numeric fields, text (UTF-8) for string fields. False with
  // a message for an unknown field or a value that does not fit.
  bool set(std::string_view field, std::string_view value, bool isText, std::string* error);
  // Numeric convenience for tests and tools.
  SettingsBuilder& with(std::string_view field, long long value);
  SettingsBuilder& withText(std::string_view field, std::string_view utf8);

  // The fields whose value in the record differs from the defaults', each
  // with its last value (text as given, numbers in decimal), in the order
  // first set.
  std::vector<std::pair<std::string, std::string>> changes(std::u16string_view printerName, UINT codePage = 1252) const;

  // The record for a printer; ANSI fields are encoded in `codePage`, cut
  // to their width at a character's end.
  std::vector<uint8_t> build(std::u16string_view printerName, UINT codePage = 1252) const;

  // What the record would print other than as the settings say, each a
  // sentence that says what to do: a text the code page cannot hold or the
  // field cannot, a value that prints nothing useful or covers the page.
  std::vector<std::string> warnings(UINT codePage) const;
  // A text field's last value (UTF-8), or "".
  std::string text(std::string_view field) const;

 private:
  struct Value {
    bool isText = false;
    long long number = 0;
    std::string text;
  };
  std::vector<std::pair<const SettingsField*, Value>> values_;
  const Value* last(std::string_view field) const;
  void warnOfText(const SettingsField& f, const std::string& text, UINT codePage, std::vector<std::string>* out) const;
};

// An ANSI field's bytes: the text in the code page, cut to `width` bytes
// where a character ends.
std::string ansiField(std::string_view utf8, UINT codePage, size_t width);

// Number syntax of job scripts: decimal or 0x-hexadecimal, optional sign.
std::optional<long long> parseNumber(std::string_view text);

}  // namespace jobkit
