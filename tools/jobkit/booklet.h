// The booklet record as the driver's rendering side makes it for a
// document: the PCL XL snippets that open a sheet side, place two pages on
// it and close it. docs/pclxl-tools.md shows the layout.
#pragma once

#include <cstdint>
#include <string>

namespace jobkit {

// The page prefixes the rendering side puts just before the first page of
// a spooled job: BeginPage attributes that select the media source, entry 0
// the default source, entry 1 the multi-purpose tray.
inline constexpr uint8_t kPagePrefixes[2][4] = {{0xC0, 0x00, 0xF8, 0x26}, {0xC0, 0x03, 0xF8, 0x26}};

struct BookletGeometry {
  double unitsX = 0, unitsY = 0;           // the session's units per inch
  double paperWidth = 0, paperHeight = 0;  // inches, portrait
  unsigned mediaSize = 0;                  // the BeginPage MediaSize enumeration
  int orientation = 1;                     // of the document's pages: 1 portrait, 2 landscape
};

struct BookletMode {
  bool software = false;  // two passes: element 2 carries the page prefixes
  bool overlay = false;   // wOverlayMode 1: the two overlay elements follow
};

// The record, marker included; false with a message when a snippet would
// not fit its 31 bytes.
bool makeBookletRecord(const BookletGeometry& g, const BookletMode& mode, std::string* record, std::string* error);

}  // namespace jobkit
