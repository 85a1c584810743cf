// The message-only window as the real user32 keeps it: created by the load on the host's thread,
// under a class of the plug-in's own module, and gone with its class after the unload.
#include <windows.h>

#include "tests/windows/plugin_test.h"

using NotificationWindowLifetime = FreshPluginTest;

// The title travels through the window procedure (WM_GETTEXT): a Unicode window whose procedure
// forwarded to the narrow default procedure would report only its first letter.
TEST_F(NotificationWindowLifetime, WindowExistsWithItsFullTitleAfterLoadAndIsGoneAfterUnload) {
  HWND window = plugin_window();
  ASSERT_NE(window, nullptr) << "no message-only window of the plug-in's class";
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(title, L"Kestrune Hidden Window");
  HINSTANCE module = world_module();
  EXPECT_TRUE(plugin_class_registered(module));
  // Under the executable a second copy of the DLL would find it and use this copy's procedure.
  EXPECT_FALSE(plugin_class_registered(GetModuleHandleW(nullptr)));

  EXPECT_EQ(unload(), 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(plugin_window(), nullptr);
  EXPECT_FALSE(plugin_class_registered(module));
}

TEST_F(NotificationWindowLifetime, ReloadInTheSameProcessCreatesTheWindowAgain) {
  ASSERT_EQ(unload(), 0);
  free_plugin();
  ASSERT_EQ(plugin_window(), nullptr);

  ASSERT_NO_FATAL_FAILURE(load_fresh(PLAIN_DLL));
  EXPECT_NE(plugin_window(), nullptr);
  EXPECT_TRUE(plugin_class_registered(world_module()));
}

// Loaded again without an unload: a second window would outlive the module and run freed code.
TEST_F(NotificationWindowLifetime, SecondLoadKeepsOneWindowAndNoneOutlivesTheModule) {
  ASSERT_EQ(host_call_entry(world_entry(), true), 1);
  EXPECT_EQ(plugin_windows_of(GetCurrentProcessId(), nullptr), 1);
  host_settle();
  expect_one_reset_for(arrival_from_another_thread_in_one_tick);
  HINSTANCE module = world_module();
  free_plugin();
  EXPECT_EQ(plugin_windows_of(GetCurrentProcessId(), nullptr), 0);
  EXPECT_FALSE(plugin_class_registered(module));
}
