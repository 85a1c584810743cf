// Messages other than device changes that reach the plug-in through the host's thread: the host's
// own quit, which the tick's drain meets because the system hands WM_QUIT to any retrieval, and a
// WM_CLOSE or WM_QUIT that any process may post to the plug-in's window.
#include <windows.h>

#include "tests/windows/plugin_test.h"

namespace {

constexpr int QUIT_AT_PASS = 100;
constexpr int GIVE_UP_AT_PASS = 500;
constexpr int QUIT_CODE = 7;
int timer_passes;

// The host's timer: in the pass where the host decides to quit, the tick still runs after the quit.
void CALLBACK host_timer(HWND, UINT, UINT_PTR, DWORD) {
  ++timer_passes;
  if (timer_passes == QUIT_AT_PASS) {
    PostQuitMessage(QUIT_CODE);
  }
  host_call_tick();
}

}  // namespace

using HostMessageLoop = FreshPluginTest;

TEST_F(HostMessageLoop, QuitPostedBeforeATickStillEndsTheHostsOwnLoop) {
  timer_passes = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 1, host_timer);
  ASSERT_NE(timer, 0u);
  MSG message{};
  BOOL got = -1;
  while (timer_passes < GIVE_UP_AT_PASS && (got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
    DispatchMessageW(&message);
  }
  KillTimer(nullptr, timer);
  ASSERT_EQ(got, 0) << "the host's loop never got its WM_QUIT; gave up at pass " << timer_passes;
  EXPECT_EQ(message.wParam, static_cast<WPARAM>(QUIT_CODE));
  EXPECT_EQ(timer_passes, QUIT_AT_PASS);
}

using ForeignMessages = SettledPluginTest;

// The default procedure would destroy the window; the plug-in, still loaded, would hear no device.
TEST_F(ForeignMessages, ClosePostedToTheWindowLeavesItListening) {
  HWND window = plugin_window();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
  host_call_tick();
  ASSERT_TRUE(IsWindow(window)) << "WM_CLOSE destroyed the plug-in's window";

  expect_one_reset_for(arrival_from_another_thread_in_one_tick);
}

// Handed back as the host's own, it would end the host with another process's exit code.
TEST_F(ForeignMessages, QuitPostedToTheWindowDoesNotEndTheHost) {
  PROCESS_INFORMATION sender{};
  ASSERT_TRUE(start_sender_process(L" quit", &sender));
  ASSERT_EQ(finish_program(&sender, SENDER_PROCESS_TIMEOUT_MS), 0u)
      << "the quit was not posted to the plug-in's window";
  ASSERT_NE(GetQueueStatus(QS_POSTMESSAGE), 0u) << "the quit never reached this thread";

  host_call_tick();
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ASSERT_NE(message.message, static_cast<UINT>(WM_QUIT))
        << "the host's loop would end, with code " << message.wParam;
    DispatchMessageW(&message);
  }
  ASSERT_TRUE(IsWindow(plugin_window()));
}
