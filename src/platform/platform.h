// The one header the library includes: the Windows API subset it is written against, from the real
// SDK on Windows and from our own implementation elsewhere, plus the few services of our own below.
#pragma once

#ifdef _WIN32
#include "win32/win32_platform.h"
#else
#include "posix/sdk/posix_platform.h"
#endif

#include "ComObject.h"
#include "IntrusiveQueue.h"
#include "NssBufferCore.h"

// Code a fault guard reports for a C++ exception (the code Windows gives thrown C++ objects).
#define PLATFORM_CPP_EXCEPTION_CODE 0xE06D7363u

// Runs fn(arg); returns 0 when it returned normally, else the code of the machine fault or
// exception that ended it. Faults are access violations and the other hardware exceptions on
// Windows; C++ exceptions on every platform.
DWORD PlatformRunGuarded(void (*fn)(void *), void *arg);

// Keeps the library's own module loaded until PlatformReleaseModule, so that a host's unload cannot
// unmap code the library's threads still run; FALSE when it cannot.
BOOL PlatformHoldModule();
void PlatformReleaseModule();

// A progress line of the file functions for console hosts: standard output on Windows; elsewhere
// only when the user has turned the library's diagnostics on.
void PlatformPrintConsole(const char *text);

// The library's entry point, called by the platform's loader glue on attach and detach.
BOOL WINAPI LibraryEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);
