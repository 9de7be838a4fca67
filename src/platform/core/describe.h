// Accounts of a call's arguments for the probe's record, made only while a test records. They
// belong to the core, which knows what the records name (the program's own module, the standard
// cursors); the probe beneath it knows no Win32.
#pragma once

#include <windows.h>

#include <string>

namespace probe {

// "class=NAME style=0x.... proc=set ...", or "null".
std::string Describe(const WNDCLASSA* windowClass);
// "size=148 fields=0x... WxHxBITS frequency=F rest=zero|set flags=F", or "null F".
std::string Describe(const DEVMODEA* mode, DWORD flags);
// "size=40 version=1 flags=0x.. type=0 colour=32 depth=24 stencil=0 rest=zero|set", or "null".
std::string Describe(const PIXELFORMATDESCRIPTOR* format);
// CreateWindowExA's arguments.
std::string DescribeCreateWindow(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x,
                                 int y, int width, int height, HWND parent, HMENU menu,
                                 HINSTANCE instance, LPVOID param);

}  // namespace probe
