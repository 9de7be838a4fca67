#include "platform/core/describe.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/core.h"

namespace probe {
namespace {

const char* SetOrNull(const void* p) {
    return p ? "set" : "null";
}

const char* Module(HINSTANCE instance) {
    return instance == core::ModuleHandle() ? "self" : "other";
}

// Whether every byte of the record is zero.
template <typename Record>
bool AllZero(const Record& record) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return std::all_of(bytes, bytes + sizeof record, [](unsigned char b) { return b == 0; });
}

}  // namespace

std::string Describe(const WNDCLASSA* c) {
    if (c == nullptr) {
        return "null";
    }
    const char* cursor = c->hCursor == core::StandardCursor(32512) ? "arrow"
                         : c->hCursor                              ? "other"
                                                                   : "null";
    char detail[256];
    std::snprintf(detail, sizeof detail,
                  "class=%s style=0x%04x proc=%s extra=%d,%d instance=%s icon=%s cursor=%s "
                  "brush=%s menu=%s",
                  c->lpszClassName ? c->lpszClassName : "(null)", c->style,
                  c->lpfnWndProc ? "set" : "null", c->cbClsExtra, c->cbWndExtra,
                  Module(c->hInstance), SetOrNull(c->hIcon), cursor, SetOrNull(c->hbrBackground),
                  SetOrNull(c->lpszMenuName));
    return detail;
}

std::string Describe(const DEVMODEA* mode, DWORD flags) {
    if (mode == nullptr) {
        return "null " + std::to_string(flags);
    }
    // The bytes besides the ones a mode request names.
    DEVMODEA rest = *mode;
    rest.dmSize = 0;
    rest.dmFields = 0;
    rest.dmPelsWidth = rest.dmPelsHeight = rest.dmBitsPerPel = 0;
    char detail[160];
    std::snprintf(detail, sizeof detail,
                  "size=%u fields=0x%08x %ux%ux%u frequency=%u rest=%s flags=%u", mode->dmSize,
                  mode->dmFields, mode->dmPelsWidth, mode->dmPelsHeight, mode->dmBitsPerPel,
                  mode->dmDisplayFrequency, AllZero(rest) ? "zero" : "set", flags);
    return detail;
}

std::string Describe(const PIXELFORMATDESCRIPTOR* f) {
    if (f == nullptr) {
        return "null";
    }
    PIXELFORMATDESCRIPTOR rest = *f;
    rest.nSize = rest.nVersion = 0;
    rest.dwFlags = 0;
    rest.iPixelType = rest.cColorBits = rest.cDepthBits = rest.cStencilBits = 0;
    char detail[200];
    std::snprintf(detail, sizeof detail,
                  "size=%u version=%u flags=0x%02x type=%u colour=%u depth=%u stencil=%u rest=%s",
                  f->nSize, f->nVersion, f->dwFlags, f->iPixelType, f->cColorBits, f->cDepthBits,
                  f->cStencilBits, AllZero(rest) ? "zero" : "set");
    return detail;
}

std::string DescribeCreateWindow(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x,
                                 int y, int width, int height, HWND parent, HMENU menu,
                                 HINSTANCE instance, LPVOID param) {
    char detail[320];
    std::snprintf(detail, sizeof detail,
                  "ex=0x%x class=%s title=%s style=0x%08x x=%d y=%d w=%d h=%d parent=%s menu=%s "
                  "instance=%s param=%s",
                  exStyle, className ? className : "(null)", title ? title : "(null)", style, x, y,
                  width, height, SetOrNull(parent), SetOrNull(menu), Module(instance),
                  SetOrNull(param));
    return detail;
}

}  // namespace probe
