// The in-band messages the rendering side mixes into the printer data. A
// message is always a buffer of its own and is recognised only at its exact
// length.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstring>

constexpr char kWatermarkMarker[] = "TimeToInsertWatermark";
constexpr char kOverlayMarker[] = "TimeToInsertOverlay";
constexpr DWORD kWatermarkMarkerSize = sizeof kWatermarkMarker - 1;  // 21
constexpr DWORD kOverlayMarkerSize = sizeof kOverlayMarker - 1;      // 19

// Page markers: ESC 0xF0 0x10 and a code byte (a page start carries the
// page's orientation as a fifth byte).
constexpr BYTE kPageMarkerPrefix[3] = {0x1B, 0xF0, 0x10};
constexpr BYTE PAGE_MARKER_START = 0xAA;
constexpr BYTE PAGE_MARKER_END = 0xFF;
constexpr BYTE PAGE_MARKER_BOOKLET = 0x00;

// Text capture markers: ESC 0xFB 0x0B and 0xFA (start) or 0xFB (stop).
constexpr BYTE kCaptureStart[4] = {0x1B, 0xFB, 0x0B, 0xFA};
constexpr BYTE kCaptureStop[4] = {0x1B, 0xFB, 0x0B, 0xFB};

inline bool IsWatermarkMarker(const BYTE* p, DWORD n) {
  return n == kWatermarkMarkerSize && std::memcmp(p, kWatermarkMarker, n) == 0;
}

inline bool IsOverlayMarker(const BYTE* p, DWORD n) {
  return n == kOverlayMarkerSize && std::memcmp(p, kOverlayMarker, n) == 0;
}

inline bool IsPageMarker(const BYTE* p, DWORD n) {
  return n >= 4 && std::memcmp(p, kPageMarkerPrefix, sizeof kPageMarkerPrefix) == 0;
}

inline bool IsCaptureStart(const BYTE* p, DWORD n) { return n >= 4 && std::memcmp(p, kCaptureStart, 4) == 0; }
inline bool IsCaptureStop(const BYTE* p, DWORD n) { return n >= 4 && std::memcmp(p, kCaptureStop, 4) == 0; }
