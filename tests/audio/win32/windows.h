// The platform's Win32 subset and the few kernel32 file calls the MP3 frame scanner makes, for
// building it natively: the test answers them from files held in memory.
#pragma once

#include "../../../src/platform/include/windows.h"

typedef int64_t LONGLONG;
typedef union {
    LONGLONG QuadPart;
} LARGE_INTEGER;

#define FILE_BEGIN 0

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* position, DWORD method);
BOOL ReadFile(HANDLE file, LPVOID data, DWORD size, DWORD* got, void* overlapped);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
