#include "platform/windows/notification_window.h"

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/device_change.h"
#include "monitor/monitor_state.h"
#include "platform/windows/window_class.h"
#include "sim/device_events.h"
#include "sim/device_notice.h"
#include "tests/unit/test_host.h"

namespace {

const wchar_t TITLE[] = L"Kestrune Hidden Window";

// The window of another copy of the DLL in the same process: its own class, under its own module.
HWND create_window_of_another_copy() {
  HINSTANCE other_module = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x1A0000000));
  register_window_class(WINDOW_CLASS_NAME, other_module);  // once for every window of that copy
  return CreateWindowExW(0, WINDOW_CLASS_NAME, TITLE, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         other_module, nullptr);
}

}  // namespace

using NotificationWindowSetup = MonitorTest;

// The class is keyed to this module, not to the host's executable: the name is still free there,
// and taken under the module. Its creation messages go to the default procedure.
TEST_F(NotificationWindowSetup, IsAMessageOnlyWindowWithTheFullTitleOfAClassOfThisModule) {
  ASSERT_TRUE(start_device_monitoring());
  HWND window = FindWindowExW(HWND_MESSAGE, nullptr, WINDOW_CLASS_NAME, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window, monitor_state.notify_window);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(title, TITLE);
  EXPECT_EQ(sim_registration_count(), 3);
  EXPECT_EQ(sim_last_default_proc_call().window, window);
  EXPECT_EQ(sim_last_default_proc_call().message, static_cast<UINT>(WM_CREATE));
  EXPECT_EQ(sim_call_count(SIM_DEF_WINDOW_PROC_W), 2);
  EXPECT_EQ(register_window_class(WINDOW_CLASS_NAME, sim_plugin_module()), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_NE(register_window_class(WINDOW_CLASS_NAME, sim_host_module()), 0);
}

// Two copies would reset twice per change, and the first unloaded would take the other's procedure.
TEST_F(NotificationWindowSetup, RefusesWhileAnotherCopysWindowExistsInThisProcess) {
  module_with_host_functions(true);
  HWND other = create_window_of_another_copy();
  ASSERT_NE(other, nullptr);
  sim_clear_calls();
  EXPECT_FALSE(start_device_monitoring());
  EXPECT_EQ(host_console(),
            (std::vector<std::string>{INIT_START_LINE,
                                      "Kestrune: [ERROR] Another copy of Kestrune is already "
                                      "active in this process - this copy stays inactive\n"}));
  EXPECT_EQ(journal_names(), std::vector<std::string>{});
  EXPECT_EQ(monitor_state.notify_window, nullptr);
  EXPECT_EQ(sim_window_count(), 1);
  EXPECT_EQ(sim_registration_count(), 0);
  EXPECT_EQ(monitor_state.init_ticks_left, INIT_DELAY_TICKS);
}

// Another process destroying its windows of the class while the scan passes them: each time the
// scan loses its place, it starts over, and still finds the other copy's window after them.
TEST_F(NotificationWindowSetup, ScanThatLosesItsPlaceStartsOverAndFindsTheOtherCopy) {
  module_with_host_functions(false);
  for (int window = 0; window < 3; ++window) {
    sim_give_window_to_another_process(create_window_of_another_copy());
  }
  ASSERT_NE(create_window_of_another_copy(), nullptr);
  sim_destroy_found_windows_of_other_processes(true);
  EXPECT_FALSE(start_device_monitoring());
  EXPECT_EQ(sim_window_count(), 1);
}

// Without its own module's instance the unload unregisters nothing: under a null instance the
// class would be the executable's, which the host may have of that name.
TEST_F(NotificationWindowSetup, UnloadWithoutItsInstanceLeavesTheExecutablesClassAlone) {
  ASSERT_NE(register_window_class(WINDOW_CLASS_NAME, sim_host_module()), 0);
  ASSERT_TRUE(start_device_monitoring());
  sim_fail_call(SIM_GET_MODULE_HANDLE_EX_W, ERROR_MOD_NOT_FOUND);
  stop_device_monitoring();
  EXPECT_EQ(register_window_class(WINDOW_CLASS_NAME, sim_host_module()), 0)
      << "the executable's class was unregistered";
}

// The handler would accept a render-class arrival too, so only the registration keeps it out.
TEST_F(NotificationWindowSetup, OnlyAudioAndMidiPortInterfacesReachTheWindow) {
  settled_plugin(2, 1, false);
  HWND window = monitor_state.notify_window;
  struct Reach {
    const GUID* interface_class;
    int queued;
  };
  for (Reach reach :
       {Reach{&KSCATEGORY_RENDER, 0}, Reach{&USB_DEVICE_INTERFACE, 0}, Reach{&KSCATEGORY_AUDIO, 1},
        Reach{&MIDI_INPUT_PORT_INTERFACE, 1}, Reach{&MIDI_OUTPUT_PORT_INTERFACE, 1}}) {
    sim_plug_device(SIM_MIDI_INPUT, *reach.interface_class);
    EXPECT_EQ(sim_queued_message_count(window), reach.queued) << reach.interface_class->Data1;
    run_ticks(1);
    EXPECT_EQ(monitor_state.check_pending, reach.queued == 1) << reach.interface_class->Data1;
    run_ticks(CHECK_DELAY_TICKS + RESET_DELAY_TICKS);
  }
}

using NotificationWindowProc = MonitorTest;

TEST_F(NotificationWindowProc, OtherMessagesPassUnchangedAndReturnTheDefaultResult) {
  settled_plugin(2, 1, true);
  HWND window = monitor_state.notify_window;
  const WPARAM odd_first = ~static_cast<WPARAM>(0) - 6;
  const LPARAM odd_second = -0x12345;
  EXPECT_EQ(notification_window_proc(window, WM_USER + 7, odd_first, odd_second), 0);
  SimDefaultProcCall forwarded = sim_last_default_proc_call();
  EXPECT_EQ(forwarded.window, window);
  EXPECT_EQ(forwarded.message, static_cast<UINT>(WM_USER + 7));
  EXPECT_EQ(forwarded.first, odd_first);
  EXPECT_EQ(forwarded.second, odd_second);

  // The default procedure answers WM_NCCREATE with TRUE; a procedure that swallowed the answer
  // would make every window creation fail.
  CREATESTRUCTW creation = {};
  creation.lpszName = TITLE;
  creation.lpszClass = WINDOW_CLASS_NAME;
  EXPECT_EQ(notification_window_proc(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&creation)),
            TRUE);
  // Not passed on: the default procedure would destroy the window for whoever posted it.
  EXPECT_EQ(notification_window_proc(window, WM_CLOSE, 0, 0), 0);
  // A power event is answered by the plug-in, granting whatever it asks.
  EXPECT_EQ(notification_window_proc(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0), TRUE);

  EXPECT_EQ(journal_names(), (std::vector<std::string>{"DefWindowProcW", "DefWindowProcW"}));
  EXPECT_TRUE(host_console().empty());
  EXPECT_FALSE(monitor_state.check_pending);
  EXPECT_FALSE(monitor_state.reset_pending);
}

TEST_F(NotificationWindowProc, DeviceChangeIsHandedOnAndAnsweredWithZero) {
  settled_plugin(2, 1, false);
  HWND window = monitor_state.notify_window;
  DeviceNotice arrival = interface_notice(KSCATEGORY_AUDIO, "\\\\?\\USB#MIDI");
  LPARAM header = reinterpret_cast<LPARAM>(arrival.bytes);

  EXPECT_EQ(notification_window_proc(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, header), 0);
  EXPECT_TRUE(monitor_state.check_pending);
  EXPECT_EQ(monitor_state.check_ticks_left, CHECK_DELAY_TICKS);
  // Dropped, as a verification is already pending: the answer is the same.
  EXPECT_EQ(notification_window_proc(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, header), 0);
  EXPECT_EQ(monitor_state.check_ticks_left, CHECK_DELAY_TICKS);
  EXPECT_EQ(sim_call_count(SIM_DEF_WINDOW_PROC_W), 0);
}
