// The order the Win32 stand-in's queue gives messages in, which the piece's pump leans on: the
// cursor's counter, the key state and the screen saver are shown by the window and driver tests.
// Headless.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/host.h"

namespace {

std::vector<std::string> seen;  // what the test window's procedure was sent

std::string Describe(UINT message, WPARAM wParam, LPARAM lParam) {
    return std::to_string(message) + " " + std::to_string(wParam) + " " + std::to_string(lParam);
}

LRESULT CALLBACK Recorder(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(Describe(message, wParam, lParam));
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

    HWND MakeWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Recorder;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "recorder";
        RegisterClassA(&windowClass);
        return CreateWindowExA(0, "recorder", "test", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                               windowClass.hInstance, nullptr);
    }
};

TEST_F(PlatformTest, QueueGivesPostedMessagesInOrderAndQuitOnceWhenNothingElseIsLeft) {
    const HWND window = MakeWindow();
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

}  // namespace
