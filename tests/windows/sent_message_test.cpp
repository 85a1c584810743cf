// Delivery through the real message queue: the system sends WM_DEVICECHANGE from outside the
// host's thread, and the message reaches the plug-in inside the drain that begins the next tick.
#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include "tests/windows/device_messages.h"
#include "tests/windows/plugin_test.h"

using SentMessageDelivery = LoadedPluginTest;

TEST_F(SentMessageDelivery, MessageFromAnotherThreadIsHandledInTheNextTickDrain) {
  settle(1, 1);
  winmm_double_set_counts(2, 1);

  DeviceChangeSender sender{nullptr, plugin_window(), DBT_DEVICEARRIVAL,
                            interface_header(KSCATEGORY_AUDIO)};
  ASSERT_NE(sender.window, nullptr);
  ASSERT_TRUE(send_from_another_thread(&sender)) << "the message never reached the queue";
  // Nothing has retrieved messages yet, so the sender is still waiting for its result.
  EXPECT_FALSE(sender_finished(sender, 0));

  host_call_tick();
  EXPECT_TRUE(sender_finished(sender, 10000)) << "the tick's drain did not deliver the message";
  join_sender(&sender);
  // Counted from that tick: a message handled one tick later would show here.
  expect_reset_on_tick(NOTICE_TO_RESET_TICKS - 1);
}

// The drain is limited to the plug-in's window: the host's own messages on the same thread,
// posted to its windows or to the thread itself, are still there for the host's loop.
TEST_F(SentMessageDelivery, HostMessagesOnTheSameThreadSurviveTheTickDrain) {
  WNDCLASSW host_class = {};
  host_class.lpfnWndProc = DefWindowProcW;
  host_class.hInstance = GetModuleHandleW(nullptr);
  host_class.lpszClassName = L"VelmarTestHostWindow";
  ASSERT_NE(RegisterClassW(&host_class), 0);
  HWND host_window = CreateWindowExW(0, host_class.lpszClassName, L"host", 0, 0, 0, 0, 0,
                                     HWND_MESSAGE, nullptr, host_class.hInstance, nullptr);
  ASSERT_NE(host_window, nullptr);
  ASSERT_TRUE(PostMessageW(host_window, WM_APP, 1, 2));
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 3, 4));

  host_call_ticks(3);

  MSG message;
  EXPECT_TRUE(PeekMessageW(&message, host_window, WM_APP, WM_APP, PM_REMOVE));
  EXPECT_TRUE(
      PeekMessageW(&message, reinterpret_cast<HWND>(-1), WM_APP + 1, WM_APP + 1, PM_REMOVE));
  DestroyWindow(host_window);
  UnregisterClassW(host_class.lpszClassName, host_class.hInstance);
}
