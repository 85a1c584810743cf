// The simulated platform's own semantics, on which every other native test relies: if these
// drift from Windows, the plug-in's tests prove the wrong thing.
#include <cstring>
#include <vector>

#include "monitor/device_change.h"
#include "platform/simulated/sim_control.h"
#include "tests/unit/test_host.h"

namespace {

struct Received {
  HWND window;
  UINT message;
  WPARAM first;
  GUID interface_class;  // for WM_DEVICECHANGE, copied while the header is valid
};

std::vector<Received> received;

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
  Received entry{window, message, first, {}};
  if (message == WM_DEVICECHANGE && second != 0) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(second);
    if (header->dbcc_size >= 28 && header->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
      entry.interface_class = header->dbcc_classguid;
    }
  }
  received.push_back(entry);
  return DefWindowProcW(window, message, first, second);
}

std::vector<UINT> messages_of(HWND window) {
  std::vector<UINT> messages;
  for (const Received& entry : received) {
    if (entry.window == window) {
      messages.push_back(entry.message);
    }
  }
  return messages;
}

ATOM register_class(LPCWSTR name) {
  return register_window_class(name, sim_host_module(), recording_proc);
}

HWND create_window(LPCWSTR class_name) {
  return CreateWindowExW(0, class_name, L"test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         sim_host_module(), nullptr);
}

HDEVNOTIFY register_for(HWND window, const GUID& interface_class) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = interface_class;
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

class SimulatedPlatform : public ::testing::Test {
 protected:
  // Every test starts with one class, "TestClass", whose windows record what they receive.
  void SetUp() override {
    start_fresh_module(false);
    ASSERT_NE(register_class(L"TestClass"), 0);
    sim_clear_calls();
    received.clear();
  }
};

}  // namespace

using SimulatedClasses = SimulatedPlatform;

TEST_F(SimulatedClasses, DuplicateRegistrationFailsWithClassAlreadyExists) {
  // Class names compare without regard to case.
  EXPECT_EQ(register_class(L"TESTCLASS"), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_EQ(sim_class_count(), 1);
}

// Creation and destruction go through the class's procedure; a class with a live window cannot go.
TEST_F(SimulatedClasses, AWindowSendsItsLifeToItsClassAndHoldsTheClassTillItGoes) {
  HWND window = create_window(L"TestClass");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(messages_of(window), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  EXPECT_FALSE(UnregisterClassW(L"TestClass", sim_host_module()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  received.clear();
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_EQ(messages_of(window), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(UnregisterClassW(L"TestClass", sim_host_module()));
  EXPECT_EQ(sim_class_count(), 0);
}

// As on Windows: a null parent searches the top-level and the message-only windows, HWND_MESSAGE
// the message-only ones alone, and names and titles compare without regard to case.
TEST_F(SimulatedClasses, FindWindowExWSearchesAsWindowsDoes) {
  HWND message_only = create_window(L"TestClass");
  HWND top_level = CreateWindowExW(0, L"TestClass", L"top", 0, 0, 0, 0, 0, nullptr, nullptr,
                                   sim_host_module(), nullptr);
  ASSERT_NE(message_only, nullptr);
  ASSERT_NE(top_level, nullptr);
  struct Search {
    HWND parent;
    LPCWSTR class_name;
    LPCWSTR title;
    HWND found;
  };
  for (const Search& search :
       {Search{nullptr, L"TestClass", L"TEST", message_only},
        Search{HWND_MESSAGE, L"testclass", nullptr, message_only},
        Search{nullptr, nullptr, L"Top", top_level}, Search{HWND_MESSAGE, nullptr, L"top", nullptr},
        Search{nullptr, L"OtherClass", nullptr, nullptr}}) {
    EXPECT_EQ(FindWindowExW(search.parent, nullptr, search.class_name, search.title), search.found)
        << "parent " << search.parent << ", title " << (search.title != nullptr);
  }
}

using SimulatedMessages = SimulatedPlatform;

TEST_F(SimulatedMessages, SentMessagesAreDeliveredInOrderBeforeAPostedOneIsReturned) {
  HWND window = create_window(L"TestClass");
  ASSERT_TRUE(PostMessageW(window, WM_USER + 1, 0, 0));
  sim_send_from_outside(window, WM_USER + 2, 0, 0);
  sim_send_from_outside(window, WM_USER + 3, 0, 0);
  received.clear();
  MSG message = {};
  ASSERT_TRUE(PeekMessageA(&message, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 1));
  // Both sent messages reached the procedure inside the call; the posted one waits for dispatch.
  EXPECT_EQ(messages_of(window), (std::vector<UINT>{WM_USER + 2, WM_USER + 3}));
  DispatchMessageA(&message);
  EXPECT_EQ(messages_of(window), (std::vector<UINT>{WM_USER + 2, WM_USER + 3, WM_USER + 1}));
  EXPECT_FALSE(PeekMessageA(&message, window, 0, 0, PM_REMOVE));
}

TEST_F(SimulatedMessages, WindowFilterLeavesAnotherWindowsPostedMessageQueued) {
  HWND mine = create_window(L"TestClass");
  HWND other = create_window(L"TestClass");
  ASSERT_TRUE(PostMessageW(other, WM_USER, 0, 0));
  MSG message = {};
  EXPECT_FALSE(PeekMessageA(&message, mine, 0, 0, PM_REMOVE));
  EXPECT_EQ(sim_queued_message_count(other), 1);
  ASSERT_TRUE(PeekMessageA(&message, other, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.hwnd, other);
}

TEST_F(SimulatedMessages, DeviceArrivalCannotBePosted) {
  HWND window = create_window(L"TestClass");
  EXPECT_FALSE(PostMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
  EXPECT_EQ(sim_queued_message_count(window), 0);
}

using SimulatedMachine = SimulatedPlatform;

TEST_F(SimulatedMachine, PluggedDeviceIsAnnouncedOnlyToRegistrationsOfItsClass) {
  HWND audio = create_window(L"TestClass");
  HWND volume = create_window(L"TestClass");
  const GUID volume_class = {
      0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
  ASSERT_NE(register_for(audio, KSCATEGORY_AUDIO), nullptr);
  ASSERT_NE(register_for(volume, volume_class), nullptr);
  received.clear();

  sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
  // The count changes before the notice goes out, and the notice waits for retrieval.
  EXPECT_EQ(midiInGetNumDevs(), 1u);
  EXPECT_TRUE(received.empty());
  MSG message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].window, audio);
  EXPECT_EQ(received[0].message, static_cast<UINT>(WM_DEVICECHANGE));
  EXPECT_EQ(received[0].first, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
  EXPECT_EQ(std::memcmp(&received[0].interface_class, &KSCATEGORY_AUDIO, sizeof(GUID)), 0);

  received.clear();
  sim_unplug_device(SIM_MIDI_INPUT, volume_class);
  EXPECT_EQ(midiInGetNumDevs(), 0u);
  PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].window, volume);
  EXPECT_EQ(received[0].first, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
}

using SimulatedControls = SimulatedPlatform;

TEST_F(SimulatedControls, InjectedFailureHitsExactlyTheNthCall) {
  sim_fail_call(SIM_REGISTER_CLASS_W, ERROR_NOT_ENOUGH_MEMORY, 3);
  EXPECT_NE(register_class(L"First"), 0);
  EXPECT_NE(register_class(L"Second"), 0);
  EXPECT_EQ(register_class(L"Third"), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_NE(register_class(L"Third"), 0);
  EXPECT_EQ(sim_class_count(), 1 + 3);
  EXPECT_EQ(sim_call_count(SIM_REGISTER_CLASS_W), 4);
}

TEST_F(SimulatedControls, JournalRecordsCallsInOrderWithNestedCallsAfterTheirCaller) {
  GetLastError();
  register_class(L"OtherClass");
  HWND window = create_window(L"TestClass");
  MSG message;
  PeekMessageA(&message, window, 0, 0, PM_REMOVE);
  midiOutGetNumDevs();
  EXPECT_EQ(journal_names(),
            (std::vector<std::string>{"GetLastError", "RegisterClassW", "CreateWindowExW",
                                      "DefWindowProcW", "DefWindowProcW", "PeekMessageA",
                                      "midiOutGetNumDevs"}));
  sim_clear_calls();
  EXPECT_EQ(sim_journal_length(), 0);
}
