// What a settings record may name as an overlay file. The path comes from
// the user's side and the file is opened with the spooler's rights, so only
// a plain file path is taken: a drive-letter path or a UNC path to a file;
// never the device namespaces (\\.\ and \\?\), an alternate data stream (a
// colon after the drive), a reserved device name as any component (CON,
// PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with or without an extension),
// nor a folder, nor a path whose attributes cannot be read for another
// reason than its absence. Shared by the component and the overlay library.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

bool IsPlainFilePath(LPCWSTR path);
