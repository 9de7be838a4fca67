// Nothing is allocated inside the frame loop. Every operator new and malloc in the process is
// counted while the whole piece runs frame after frame through its timeline, and each is put down
// to the first caller on its stack outside the C and C++ runtimes: this executable (the piece and
// its platform layer, linked in) or a shared library (Mesa, SDL). Only the first must be zero.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "support/piece_run.h"

#ifndef __SANITIZE_ADDRESS__
#define COUNTING_ALLOCATIONS 1

extern "C" void* __libc_malloc(size_t size);

namespace {

std::atomic<bool> counting{false};
std::atomic<long> ours{0}, theirs{0};
thread_local bool noting = false;
const void* executableBase = nullptr;

// Frame 0 is this function and frame 1 the allocation function that called it.
__attribute__((noinline)) void Note() {
    if (!counting.load(std::memory_order_relaxed) || noting) {
        return;
    }
    noting = true;
    void* frames[32];
    const int depth = backtrace(frames, 32);
    for (int i = 2; i < depth; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) == 0 || !info.dli_fname) {
            continue;
        }
        const char* file = info.dli_fname;
        if (!std::strstr(file, "libstdc++") && !std::strstr(file, "/libc.so") &&
            !std::strstr(file, "libgcc_s") && !std::strstr(file, "/libm.so")) {
            (info.dli_fbase == executableBase ? ours : theirs)++;
            break;
        }
    }
    noting = false;
}

}  // namespace

extern "C" __attribute__((noinline)) void* malloc(size_t size) noexcept {
    Note();
    return __libc_malloc(size);
}
// The other forms of new come here through the runtime's own definitions; delete uses free().
// The piece's C++ containers allocate through new, any C code through malloc.
__attribute__((noinline)) void* operator new(std::size_t size) {
    Note();
    void* block = __libc_malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}
#endif

namespace {

TEST(FrameLoopAllocations, NoneFromThePieceOverTheWholeTimeline) {
#ifndef COUNTING_ALLOCATIONS
    GTEST_SKIP() << "allocation counting needs the C library's allocator, not the sanitizer's";
#else
    // Frames every second from 0 to 93 s, where the piece ends by itself, and every 100 ms through
    // the strobe; counted from the fourth, after Mesa has built its shaders and buffers.
    std::vector<std::uint32_t> schedule;
    for (std::uint32_t ms = 0; ms <= 93000; ms += (ms >= 31000 && ms < 32000) ? 100 : 1000) {
        schedule.push_back(ms);
    }
    const int last = static_cast<int>(schedule.size()) - 1;
    testsupport::PieceRunOptions options;
    options.frameMs = [&](int n) { return schedule[static_cast<size_t>(std::min(n, last))]; };
    options.onFrame = [&](int n, const host::Frame&) {
        if (n == 2) {
            Dl_info self;
            dladdr(reinterpret_cast<void*>(&Note), &self);
            executableBase = self.dli_fbase;
            void* warm[4];
            backtrace(warm, 4);  // loads the unwinder before any allocation is counted
        }
        counting = n >= 2 && n < last;
        return true;
    };
    const testsupport::PieceRunResult result = testsupport::RunPiece(options);
    counting = false;
    ASSERT_EQ(result.frames, last + 1);  // it ended by itself, in the frame at 93 s
    std::printf("the piece %ld allocations, the libraries %ld\n", ours.load(), theirs.load());
    EXPECT_EQ(ours.load(), 0);
#endif
}

}  // namespace
