// Nothing is allocated inside the frame loop. Every operator new and malloc in the process is
// counted while the whole piece runs frame after frame through its timeline, and each is put down
// to whoever asked for it: the first caller on its stack outside the C and C++ runtimes is either
// this executable (the piece and its platform layer, linked in) or a shared library (Mesa, SDL).
// Only the first must be zero; the libraries' count is reported.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "support/piece_run.h"

#ifndef __SANITIZE_ADDRESS__
#define COUNTING_ALLOCATIONS 1

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);

namespace {

std::atomic<bool> counting{false};
std::atomic<long> oursNew{0}, oursMalloc{0}, theirsNew{0}, theirsMalloc{0};
thread_local bool noting = false;
const void* executableBase = nullptr;

bool IsRuntime(const char* file) {
    return file != nullptr && (std::strstr(file, "libstdc++") || std::strstr(file, "/libc.so") ||
                               std::strstr(file, "libgcc_s") || std::strstr(file, "/libm.so"));
}

// Frame 0 is this function and frame 1 the allocation function that called it.
__attribute__((noinline)) void Note(bool isNew) {
    if (!counting.load(std::memory_order_relaxed) || noting) {
        return;
    }
    noting = true;
    void* frames[32];
    const int depth = backtrace(frames, 32);
    bool ours = false;
    for (int i = 2; i < depth; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) == 0 || IsRuntime(info.dli_fname)) {
            continue;
        }
        ours = info.dli_fbase == executableBase;
        break;
    }
    (ours ? (isNew ? oursNew : oursMalloc) : (isNew ? theirsNew : theirsMalloc))++;
    noting = false;
}

void StartCounting() {
    Dl_info self;
    dladdr(reinterpret_cast<void*>(&Note), &self);
    executableBase = self.dli_fbase;
    void* warm[4];
    backtrace(warm, 4);  // loads the unwinder before any allocation is counted
    counting = true;
}

}  // namespace

extern "C" __attribute__((noinline)) void* malloc(size_t size) noexcept {
    Note(false);
    return __libc_malloc(size);
}
extern "C" __attribute__((noinline)) void* calloc(size_t count, size_t size) noexcept {
    Note(false);
    return __libc_calloc(count, size);
}
extern "C" __attribute__((noinline)) void* realloc(void* block, size_t size) noexcept {
    Note(false);
    return __libc_realloc(block, size);
}
// The other forms of new (arrays, nothrow) come here through the runtime's own definitions, and
// the runtime's delete frees with free().
__attribute__((noinline)) void* operator new(std::size_t size) {
    Note(true);
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
    // Frames every 500 ms from 0 to 93 s, where the piece ends by itself, and every 100 ms
    // through the strobe between 31 and 32 s.
    std::vector<std::uint32_t> schedule;
    for (std::uint32_t ms = 0; ms <= 93000; ms += (ms >= 31000 && ms < 32000) ? 100 : 500) {
        schedule.push_back(ms);
    }
    const int warmUp = 3;  // the first frames build Mesa's shaders and buffers
    const int last = static_cast<int>(schedule.size()) - 1;
    testsupport::PieceRunOptions options;
    options.frameMs = [&](int n) { return schedule[static_cast<size_t>(std::min(n, last))]; };
    options.onFrame = [&](int n, const host::Frame&) {
        if (n == last) {
            counting = false;
        } else if (n == warmUp - 1) {
            StartCounting();
        }
        return true;
    };
    const testsupport::PieceRunResult result = testsupport::RunPiece(options);
    counting = false;
    ASSERT_EQ(result.frames, last + 1);  // it ended by itself, in the frame at 93 s

    std::printf("over %d frames: the piece %ld new, %ld malloc; libraries %ld new, %ld malloc\n",
                last - warmUp + 1, oursNew.load(), oursMalloc.load(), theirsNew.load(),
                theirsMalloc.load());
    EXPECT_EQ(oursNew.load(), 0);
    EXPECT_EQ(oursMalloc.load(), 0);
#endif
}

}  // namespace
