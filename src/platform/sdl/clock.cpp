// kernel32: the tick count.
#include <time.h>

#include "platform/host.h"
#include "sdl/internal.h"

// Milliseconds on the monotonic clock, in 32 bits that wrap as Windows' count does after about
// 49.7 days. Under a host's virtual clock, the value the host last set.
DWORD WINAPI GetTickCount(void) {
    if (host::Current().virtualClock) {
        return host::Ticks();
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}
