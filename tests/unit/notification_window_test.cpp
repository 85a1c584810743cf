#include "platform/windows/notification_window.h"

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/device_change.h"
#include "monitor/monitor_state.h"
#include "platform/windows/window_class.h"
#include "sim/device_events.h"
#include "sim/device_notice.h"
#include "tests/unit/call_journal.h"
#include "tests/unit/test_host.h"

namespace {

const wchar_t TITLE[] = L"Kestrune Hidden Window";

const char INIT_START_LINE[] =
    "Kestrune: [INIT_START] Starting delayed initialization (90 ticks) to let VELMAR MIDI system "
    "stabilize\n";

// What an earlier instance of the module leaves when it goes without unregistering its class.
void register_class_as_earlier_load() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = notification_window_proc;
  window_class.hInstance = sim_plugin_module();
  window_class.lpszClassName = WINDOW_CLASS_NAME;
  ASSERT_NE(RegisterClassW(&window_class), 0);
}

// The window of another copy of the DLL loaded into the same process: its own class, under its
// own module.
HWND create_window_of_another_copy() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x1A0000000));
  window_class.lpszClassName = WINDOW_CLASS_NAME;
  RegisterClassW(&window_class);  // once for every window of that copy
  return CreateWindowExW(0, WINDOW_CLASS_NAME, TITLE, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         window_class.hInstance, nullptr);
}

std::wstring window_title(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
}

}  // namespace

using NotificationWindowSetup = MonitorTest;

// The class is keyed to this module, not to the host's executable: the name is still free there,
// and taken under the module.
TEST_F(NotificationWindowSetup, IsAMessageOnlyWindowWithTheFullTitleOfAClassOfThisModule) {
  ASSERT_TRUE(start_device_monitoring());
  HWND window = FindWindowExW(HWND_MESSAGE, nullptr, WINDOW_CLASS_NAME, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window, monitor_state.notify_window);
  EXPECT_EQ(window_title(window), TITLE);
  EXPECT_EQ(sim_registration_count(), 3);
  WNDCLASSW same_class = {};
  same_class.lpfnWndProc = DefWindowProcW;
  same_class.lpszClassName = WINDOW_CLASS_NAME;
  same_class.hInstance = sim_plugin_module();
  EXPECT_EQ(RegisterClassW(&same_class), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  same_class.hInstance = sim_host_module();
  EXPECT_NE(RegisterClassW(&same_class), 0);
}

// Two copies would reset the host twice for one change, and the one unloaded first would take
// the other's window procedure with it.
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
  WNDCLASSW hosts_class = {};
  hosts_class.lpfnWndProc = DefWindowProcW;
  hosts_class.hInstance = sim_host_module();
  hosts_class.lpszClassName = WINDOW_CLASS_NAME;
  ASSERT_NE(RegisterClassW(&hosts_class), 0);
  ASSERT_TRUE(start_device_monitoring());
  sim_fail_call(SIM_GET_MODULE_HANDLE_EX_W, ERROR_MOD_NOT_FOUND);
  stop_device_monitoring();
  EXPECT_EQ(RegisterClassW(&hosts_class), 0) << "the executable's class was unregistered";
}

TEST_F(NotificationWindowSetup, ClassLeftByAnEarlierLoadIsUsed) {
  module_with_host_functions(true);
  register_class_as_earlier_load();
  ASSERT_TRUE(start_device_monitoring());
  EXPECT_EQ(sim_class_count(), 1);
  EXPECT_EQ(sim_window_count(), 1);
  EXPECT_EQ(sim_registration_count(), 3);
  EXPECT_EQ(window_title(monitor_state.notify_window), TITLE);
  EXPECT_EQ(host_console().back(),
            "Kestrune: [INIT_SUCCESS] Windows device monitoring initialized successfully\n");
  stop_device_monitoring();
  EXPECT_EQ(sim_class_count(), 0);
}

TEST_F(NotificationWindowSetup, StopReleasesInTheReverseOrderOfAcquisition) {
  ASSERT_TRUE(start_device_monitoring());
  sim_clear_calls();
  stop_device_monitoring();
  // The two default-procedure calls are the window's destruction messages.
  EXPECT_EQ(journal_names(),
            (std::vector<std::string>{
                "UnregisterSuspendResumeNotification", "UnregisterDeviceNotification",
                "UnregisterDeviceNotification", "UnregisterDeviceNotification", "DestroyWindow",
                "DefWindowProcW", "DefWindowProcW", "GetModuleHandleExW", "UnregisterClassW"}));
  EXPECT_EQ(monitor_state.notify_window, nullptr);
  EXPECT_EQ(monitor_state.notify_handle, nullptr);
  EXPECT_EQ(sim_class_count(), 0);
  EXPECT_EQ(sim_window_count(), 0);
  EXPECT_EQ(sim_registration_count(), 0);
}

using NotificationFilter = MonitorTest;

// The handler would accept a render-class arrival too, so only the registration keeps it out.
TEST_F(NotificationFilter, OnlyAudioAndMidiPortInterfacesReachTheWindow) {
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

// Released in the reverse order of acquisition: the registration whose release fails shows
// which one came first.
TEST_F(NotificationFilter, RegistrationsAreReleasedPortClassesFirst) {
  struct Left {
    int nth_release;
    const GUID* still_registered;
  };
  for (Left left : {Left{1, &MIDI_OUTPUT_PORT_INTERFACE}, Left{2, &MIDI_INPUT_PORT_INTERFACE},
                    Left{3, &KSCATEGORY_AUDIO}}) {
    SCOPED_TRACE(left.nth_release);
    module_with_host_functions(false);
    ASSERT_TRUE(start_device_monitoring());
    sim_fail_call(SIM_UNREGISTER_DEVICE_NOTIFICATION, ERROR_INVALID_HANDLE, left.nth_release);
    stop_device_monitoring();
    ASSERT_EQ(sim_registration_count(), 1);
    EXPECT_TRUE(sim_registered_for(*left.still_registered));
    EXPECT_EQ(monitor_state.notify_handle, nullptr);
    EXPECT_EQ(monitor_state.input_port_notify_handle, nullptr);
    EXPECT_EQ(monitor_state.output_port_notify_handle, nullptr);
  }
}

// A failed start-up releases what it acquired, the class too when an earlier load of the module
// left it: a host that frees the module after the refusal leaves no class whose procedure points
// into unloaded code. Every other failure of a start-up is swept in fault_sweep_test.cpp.
TEST_F(NotificationWindowSetup, FailedStartReleasesAClassLeftByAnEarlierLoad) {
  module_with_host_functions(true);
  register_class_as_earlier_load();
  // Counts from an earlier settle, which the start-up must mark unread.
  monitor_state.last_in_count = 4;
  monitor_state.last_out_count = 2;
  sim_fail_call(SIM_CREATE_WINDOW_EX_W, ERROR_NOT_ENOUGH_MEMORY);

  EXPECT_FALSE(start_device_monitoring());
  EXPECT_EQ(host_console(),
            (std::vector<std::string>{INIT_START_LINE, "Kestrune: Failed to create hidden window\n",
                                      "Kestrune: [ERROR] Failed to create notification window\n"}));
  EXPECT_EQ(sim_class_count(), 0);
  EXPECT_EQ(sim_window_count(), 0);
  EXPECT_EQ(monitor_state.notify_window, nullptr);
  EXPECT_EQ(monitor_state.last_in_count, UNSET_COUNT);
  EXPECT_EQ(monitor_state.last_out_count, UNSET_COUNT);
  EXPECT_EQ(monitor_state.init_ticks_left, INIT_DELAY_TICKS);
}

using NotificationWindowProc = MonitorTest;

TEST_F(NotificationWindowProc, CreationAndDestructionMessagesGoToTheDefaultProcedure) {
  ASSERT_TRUE(start_device_monitoring());
  HWND window = monitor_state.notify_window;
  SimDefaultProcCall created = sim_last_default_proc_call();
  EXPECT_EQ(created.window, window);
  EXPECT_EQ(created.message, static_cast<UINT>(WM_CREATE));
  EXPECT_EQ(sim_call_count(SIM_DEF_WINDOW_PROC_W), 2);

  stop_device_monitoring();
  SimDefaultProcCall destroyed = sim_last_default_proc_call();
  EXPECT_EQ(destroyed.window, window);
  EXPECT_EQ(destroyed.message, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_EQ(sim_call_count(SIM_DEF_WINDOW_PROC_W), 4);
}

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
