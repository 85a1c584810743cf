// Delivery through the real message queue: the system sends WM_DEVICECHANGE from outside the
// host's thread, and the message reaches the plug-in inside the drain that begins the next tick.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "tests/windows/plugin_test.h"

using SentMessageDelivery = SettledPluginTest;

// Counted from the tick that delivered the notice: a message handled one tick later would show.
TEST_F(SentMessageDelivery, MessageFromAnotherThreadIsHandledInTheNextTickDrain) {
  expect_one_reset_for(arrival_from_another_thread_in_one_tick);
}

// The header is copied into this process, and the message waits in the host thread's queue.
TEST_F(SentMessageDelivery, MessageFromAnotherProcessIsHandledInTheNextTickDrain) {
  expect_one_reset_for(arrival_from_another_process_in_one_tick);
}

// The system gives up on a notice its receiver's thread does not take in time: a host busy longer
// never sees it, and the tick after the stall verifies the counts in its place. Windows' timeout is
// undocumented: there the notice may still come, in that tick's drain, which verifies the same.
TEST_F(SentMessageDelivery, NoticeLostWhileTheHostWasBusyIsVerifiedAfterTheStall) {
  winmm_double_set_midi_counts(2, 1);
  std::vector<unsigned char> header = interface_header(KSCATEGORY_AUDIO);
  bool lost =
      world_stall(3000, DBT_DEVICEARRIVAL, header.data(), header.size()) == STALL_NOTICE_LOST;
  std::printf("first-run: notice sent during a 3 s stall: %s\n", lost ? "lost" : "still queued");
  if (running_under_wine()) {
    EXPECT_TRUE(lost) << "the send did not give up: this tests no lost notice";
  }
  host_call_tick();
  world_after_tick();
  expect_reset_on_tick(notice_to_reset_ticks - 1);
}

// The drain is limited to the plug-in's window: the host's own messages on the same thread,
// posted to its windows or to the thread itself, are still there for the host's loop.
TEST_F(SentMessageDelivery, HostMessagesOnTheSameThreadSurviveTheTickDrain) {
  HWND host_window = CreateWindowExW(0, L"STATIC", L"host", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     nullptr, nullptr);
  ASSERT_NE(host_window, nullptr);
  ASSERT_TRUE(PostMessageW(host_window, WM_APP, 1, 2));
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 3, 4));

  host_call_ticks(3);

  MSG message;
  EXPECT_TRUE(PeekMessageW(&message, host_window, WM_APP, WM_APP, PM_REMOVE));
  EXPECT_TRUE(
      PeekMessageW(&message, reinterpret_cast<HWND>(-1), WM_APP + 1, WM_APP + 1, PM_REMOVE));
  DestroyWindow(host_window);
}
