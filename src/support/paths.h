// What a settings record may name as an overlay file. The path comes from
// the user's side and the file is opened with the spooler's rights, so only
// a plain file path is taken: a drive-letter path or a UNC path to a file;
// never the device namespaces (\\.\ and \\?\), an alternate data stream (a
// colon after the drive), a reserved device name as any component (CON,
// PRN, AUX, NUL, CONIN$, CONOUT$, COM and LPT with a digit or a superscript
// one to three; in any case, with or without an extension, trailing spaces
// or dots),
// nor a folder, nor a path whose attributes cannot be read for another
// reason than its absence. Shared by the component and the overlay library.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

bool IsPlainFilePath(LPCWSTR path);
// Why the path is not one (a short clause: "it names a device"); null when it is.
LPCWSTR WhyNotPlainFilePath(LPCWSTR path);
