// Win32 behaviour the piece leans on, where a stand-in could plausibly get it wrong: the order
// the queue gives messages in, the tick count's wrap, the cursor's counter, the key state's two
// bits and the screen saver held off. Headless.
#include <gtest/gtest.h>

#include <windows.h>
#include <SDL.h>

#include <string>
#include <vector>

#include "platform/host.h"
#include "support/push_key.h"

namespace {

std::vector<std::string> seen;  // what the test window's procedure was sent

std::string Describe(UINT message, WPARAM wParam, LPARAM lParam) {
    return std::to_string(message) + " " + std::to_string(wParam) + " " + std::to_string(lParam);
}

LRESULT CALLBACK Recorder(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(Describe(message, wParam, lParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

// Keeps the screen-saver requests from the default handling, as the piece's procedure does.
LRESULT CALLBACK Swallower(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER)) {
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::Reset();
        seen.clear();
        host::Options options;
        options.video = host::Video::Headless;
        options.virtualClock = true;
        host::Configure(options);
    }
    void TearDown() override { host::Reset(); }

    HWND MakeWindow(WNDPROC procedure, DWORD style, int width, int height) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = procedure == Recorder ? "recorder" : "swallower";
        RegisterClassA(&windowClass);
        return CreateWindowExA(0, windowClass.lpszClassName, "test", style, 0, 0, width, height,
                               nullptr, nullptr, windowClass.hInstance, nullptr);
    }
};

TEST_F(PlatformTest, QueueGivesPostedMessagesInOrderAndQuitOnceWhenNothingElseIsLeft) {
    const HWND window = MakeWindow(Recorder, WS_POPUP, 64, 64);
    ASSERT_NE(window, nullptr);
    PostQuitMessage(3);  // first, but it waits for the queue to empty
    PostMessageA(window, WM_USER + 1, 10, 11);
    PostMessageA(nullptr, WM_USER + 2, 20, 21);
    PostMessageA(window, WM_USER + 3, 30, 31);

    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 1));
    std::vector<std::string> taken;
    seen.clear();
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        taken.push_back(Describe(message.message, message.wParam, message.lParam) +
                        (message.hwnd == window ? " window" : " thread"));
        DispatchMessageA(&message);
    }
    EXPECT_EQ(taken, (std::vector<std::string>{
                         Describe(WM_USER + 1, 10, 11) + " window",
                         Describe(WM_USER + 2, 20, 21) + " thread",
                         Describe(WM_USER + 3, 30, 31) + " window",
                         Describe(WM_QUIT, 3, 0) + " thread",
                     }));
    // Only the window's own messages reach its procedure.
    EXPECT_EQ(seen, (std::vector<std::string>{Describe(WM_USER + 1, 10, 11),
                                              Describe(WM_USER + 3, 30, 31)}));
}

TEST_F(PlatformTest, TickCountWrapsInThirtyTwoBitsAndTheCursorKeepsACounter) {
    host::SetTicks(0xFFFFFF00u);
    const DWORD before = GetTickCount();
    host::SetTicks(before + 0x200u);
    EXPECT_EQ(GetTickCount(), 0x100u);
    EXPECT_EQ(static_cast<DWORD>(GetTickCount() - before), 0x200u);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
}

TEST_F(PlatformTest, KeyStateHasBitFifteenWhileDownAndBitZeroForAPressSinceTheLastCall) {
    ASSERT_NE(MakeWindow(Recorder, WS_POPUP | WS_VISIBLE, 64, 64), nullptr);
    auto poll = [] {
        return static_cast<unsigned>(static_cast<WORD>(GetAsyncKeyState(VK_ESCAPE)));
    };
    EXPECT_EQ(poll(), 0u);
    PushKey(SDLK_ESCAPE, true);
    PushKey(SDLK_ESCAPE, false);
    EXPECT_EQ(poll(), 0x0001u);  // pressed and released between two calls
    EXPECT_EQ(poll(), 0u);
    PushKey(SDLK_ESCAPE, true);
    EXPECT_EQ(poll(), 0x8001u);
    EXPECT_EQ(poll(), 0x8000u);
    PushKey(SDLK_ESCAPE, false);
    EXPECT_EQ(poll(), 0u);
}

TEST_F(PlatformTest, ScreenSaverStaysOffWhileAWindowSwallowsItsRequests) {
    const HWND passing = MakeWindow(Recorder, WS_POPUP | WS_VISIBLE, 64, 64);
    ASSERT_NE(passing, nullptr);
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());
    const HWND holding = MakeWindow(Swallower, WS_POPUP | WS_VISIBLE, 64, 64);
    ASSERT_NE(holding, nullptr);
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());
    DestroyWindow(holding);
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());
}

}  // namespace
