// The one place that includes the Windows headers. Everything in win32/ (and
// the Windows-only tests) includes this file instead of <windows.h>, so the
// target version and the trimming macros are the same everywhere.
//
// Vista (0x0600) is the floor: GetFileInformationByHandleEx,
// SetFileInformationByHandle and ReOpenFile first came with it, and so did the
// new-style folder browser flags. The platform library sets _WIN32_WINNT and
// WINVER as compile definitions for everything that links it: a standard
// header read before this file would otherwise pull in mingw's own default
// (Windows 10), and a call newer than the floor would compile unnoticed. The
// check below makes a build without that setting fail here.
#pragma once

#if !defined(_WIN32_WINNT) || _WIN32_WINNT != 0x0600 || !defined(WINVER) || WINVER != 0x0600
#error \
    "build with _WIN32_WINNT=0x0600 and WINVER=0x0600 (the platform library sets them): Vista is the oldest supported Windows"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
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
#include <winioctl.h>  // FSCTL_SET_SPARSE (tests), the seek penalty query
