// The one place that includes the Windows headers. Everything in win32/ (and
// the Windows-only tests) includes this file instead of <windows.h>, so the
// target version and the trimming macros are the same everywhere.
//
// Vista (0x0600) is the floor: GetFileSizeEx, the new-style folder browser
// flags and SHGetPathFromIDListW with long buffers are all available there.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>

#include <objbase.h>   // CoInitialize, CoTaskMemFree
#include <shellapi.h>  // CommandLineToArgvW
#include <shlobj.h>    // SHBrowseForFolderW, SHGetPathFromIDListW, BFFM_*
#include <winioctl.h>  // FSCTL_SET_SPARSE (tests)
