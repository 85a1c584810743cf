// Any process may send WM_DEVICECHANGE to the plug-in's window, with any header. A storm of
// arrivals and removals whose headers are none of them a valid interface of a class the plug-in
// acts on (hostile_headers.h) must neither fault the plug-in nor make it act, and the one valid
// notice that follows must still lead to exactly one reset.
#include <windows.h>
// dbt.h relies on the types of windows.h.
#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/monitor_state.h"
#include "tests/windows/device_messages.h"
#include "tests/windows/dll_host.h"
#include "tests/windows/guarded_page.h"
#include "tests/windows/hostile_headers.h"
#include "tests/windows/plugin_test.h"
#include "tests/windows/sender_process.h"

namespace {

constexpr DWORD SHORTEST_HEADER = sizeof(DEV_BROADCAST_HDR);
constexpr DWORD LARGEST_RECORDED_HEADER = 64;

// Wine alone: between processes Wine 8 copies exactly dbch_size bytes, and drops a message whose
// header is too short to hold DEV_BROADCAST_HDR itself, unless it is empty: an empty or null
// header arrives as a pointer to no data. Windows documents none of this.
bool reaches_the_window_under_wine(const HostileMessage& message) {
  DWORD size = message.null_header ? 0 : claimed_size(message);
  return size == 0 || size >= SHORTEST_HEADER;
}

struct ArrivedMessage {
  WPARAM event;
  std::vector<unsigned char> header;
};

WNDPROC plugin_procedure;
std::vector<ArrivedMessage> arrived;

// Put in front of the plug-in's own procedure while the storm lasts, to see what it is handed:
// the header as copied into this process. A hook would not do: Wine calls it before the header is
// copied, with the sender's address.
LRESULT CALLBACK record_device_change(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (message == WM_DEVICECHANGE) {
    ArrivedMessage seen{first, {}};
    const unsigned char* header = reinterpret_cast<const unsigned char*>(second);
    if (header != nullptr) {
      DWORD size;
      std::memcpy(&size, header, sizeof size);
      if (size >= SHORTEST_HEADER && size <= LARGEST_RECORDED_HEADER) {
        seen.header.assign(header, header + size);
      }
    }
    arrived.push_back(seen);
  }
  return CallWindowProcW(plugin_procedure, window, message, first, second);
}

// A fault outside Wine's dispatch, in a message sent from this very thread, would otherwise start
// the debugger and hold the test until ctest's timeout.
LONG WINAPI end_on_unhandled_exception(EXCEPTION_POINTERS* exception) {
  std::fprintf(stderr, "unhandled exception 0x%lx at %p\n",
               exception->ExceptionRecord->ExceptionCode,
               exception->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  return EXCEPTION_EXECUTE_HANDLER;
}

int lines_containing(const char* text) {
  int count = 0;
  for (const std::string& line : host_console()) {
    count += line.find(text) != std::string::npos ? 1 : 0;
  }
  return count;
}

class HostileSenders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(watch_for_faults());
    SetUnhandledExceptionFilter(end_on_unhandled_exception);
  }

  void TearDown() override {
    stop_watching_for_faults();
    if (host_plugin_active()) {
      host_unload_plugin();
    }
    host_free_plugin();
    guarded_page_release();
  }

  // `diagnostic`: the variant with its console lines on, which looks at the counts as soon as it
  // accepts a notice instead of a few ticks later. The baseline is taken, and then the counts
  // change, so any notice accepted from here on leads to a reset.
  void load_settled(const wchar_t* file, bool diagnostic) {
    std::string error;
    ASSERT_TRUE(winmm_double_ready(&error)) << error;
    winmm_double_set_counts(1, 1);
    int32_t loaded = 0;
    ASSERT_TRUE(host_load_plugin(path_beside_program(file).c_str(), &loaded, &error)) << error;
    ASSERT_EQ(loaded, 1);
    host_call_ticks(INIT_DELAY_TICKS);
    winmm_double_set_counts(2, 1);
    notice_to_reset_ticks = diagnostic ? RESET_DELAY_TICKS : CHECK_DELAY_TICKS + RESET_DELAY_TICKS;
    count_reads_at_start = winmm_double_in_calls() + winmm_double_out_calls();
  }

  // Ticks as the host does while the sender process sends, so each message is handled in a
  // tick's drain and anything it scheduled counts down meanwhile. Returns the sender's exit code.
  DWORD storm_from_another_process() {
    HWND window = plugin_window();
    if (window == nullptr) {
      ADD_FAILURE() << "no plug-in window to send to";
      return 1;
    }
    PROCESS_INFORMATION process = {};
    if (!start_sender_process(L" storm", &process)) {
      ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
      return 1;
    }
    arrived.clear();
    plugin_procedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&record_device_change)));
    DWORD woken;
    do {
      host_call_tick();
      woken = MsgWaitForMultipleObjectsEx(1, &process.hProcess, 30000, QS_SENDMESSAGE,
                                          MWMO_INPUTAVAILABLE);
    } while (woken == WAIT_OBJECT_0 + 1);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(plugin_procedure));
    DWORD exit_code = 1;
    if (woken == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &exit_code);
    } else {
      ADD_FAILURE() << "the sender stopped sending but did not end";
      TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exit_code;
  }

  // What the plug-in was handed must be the storm itself, so that the test cannot pass on
  // messages lost or mangled on the way.
  void expect_storm_arrived_as_sent() {
    std::vector<HostileMessage> storm = hostile_storm();
    if (!running_under_wine()) {
      // Windows documents only that a notice's header begins with DEV_BROADCAST_HDR: every header
      // that claims as much arrives, and a shorter or null one may arrive or be refused.
      auto delivered = std::count_if(storm.begin(), storm.end(), must_be_delivered);
      EXPECT_GE(arrived.size(), static_cast<size_t>(delivered)) << "messages lost on the way";
      EXPECT_LE(arrived.size(), storm.size()) << "messages added on the way";
      return;
    }
    // Under Wine, byte for byte (reaches_the_window_under_wine).
    std::vector<HostileMessage> expected;
    for (const HostileMessage& message : storm) {
      if (reaches_the_window_under_wine(message)) {
        expected.push_back(message);
      }
    }
    ASSERT_EQ(arrived.size(), expected.size()) << "messages lost or added on the way";
    int differing = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      DWORD size = expected[i].null_header ? 0 : claimed_size(expected[i]);
      std::vector<unsigned char> sent(expected[i].buffer.begin(),
                                      expected[i].buffer.begin() + size);
      // An empty header points at whatever the receiving side last left there: only its event is
      // known.
      bool same_header = size == 0 || arrived[i].header == sent;
      if (arrived[i].event != expected[i].event || !same_header) {
        ++differing;
        if (differing <= 3) {
          ADD_FAILURE() << "message " << i << " of " << size << " bytes arrived as "
                        << arrived[i].header.size() << " bytes, event 0x" << std::hex
                        << arrived[i].event << " for 0x" << expected[i].event;
        }
      }
    }
    EXPECT_EQ(differing, 0);
  }

  // Long enough for a verification and the reset it would schedule to have come.
  void expect_no_fault_and_nothing_acted_on() {
    DWORD first_code = 0;
    EXPECT_EQ(faults_seen(&first_code), 0)
        << "the plug-in faulted, first with exception 0x" << std::hex << first_code;
    host_call_ticks(notice_to_reset_ticks + 1);
    EXPECT_TRUE(host_commands().empty()) << "reset after headers that name no class acted on";
    EXPECT_EQ(winmm_double_in_calls() + winmm_double_out_calls(), count_reads_at_start)
        << "the counts were read: a verification was scheduled";
  }

  // A real arrival from another process, timed from the tick whose drain delivers it.
  void expect_one_reset_after_a_valid_notice() {
    PROCESS_INFORMATION process = {};
    forget_earlier_sent_messages();
    ASSERT_TRUE(start_sender_process(L"", &process)) << "CreateProcessW failed: " << GetLastError();
    SenderDelivery delivery = deliver_in_one_tick(&process);
    ASSERT_TRUE(delivery.pending) << "the valid notice never reached this thread";
    ASSERT_EQ(delivery.exit_code, 0u);

    expect_reset_on_tick(notice_to_reset_ticks - 1);
    host_call_ticks(notice_to_reset_ticks + 1);
    EXPECT_EQ(host_commands().size(), 1u) << "more than one reset for one change";
  }

  int notice_to_reset_ticks = 0;
  LONG count_reads_at_start = 0;
};

}  // namespace

// The data itself: a storm that held a valid header, lacked the short interface headers or left
// a class acted on unspoilt would prove nothing below.
TEST_F(HostileSenders, StormCoversEverySizeAndEveryClassAndHoldsNoValidHeader) {
  std::vector<HostileMessage> storm = hostile_storm();
  bool interface_type_of_size[2][65] = {};
  bool spoilt_class[ACTED_ON_CLASS_COUNT] = {};
  for (const HostileMessage& message : storm) {
    ASSERT_TRUE(message.event == DBT_DEVICEARRIVAL || message.event == DBT_DEVICEREMOVECOMPLETE);
    if (message.null_header) {
      continue;
    }
    DWORD size = claimed_size(message);
    ASSERT_LE(size, 64u);
    ASSERT_GE(message.buffer.size(), size);
    EXPECT_FALSE(is_acted_on(message.buffer.data(), size)) << size << " bytes";
    DWORD type;
    std::memcpy(&type, message.buffer.data() + offsetof(DEV_BROADCAST_HDR, dbch_devicetype),
                sizeof type);
    if (type == DBT_DEVTYP_DEVICEINTERFACE) {
      interface_type_of_size[message.event == DBT_DEVICEARRIVAL ? 0 : 1][size] = true;
      for (int acted_on_class = 0; acted_on_class < ACTED_ON_CLASS_COUNT; ++acted_on_class) {
        spoilt_class[acted_on_class] |=
            size >= 28 && differing_class_bits(message.buffer.data(), acted_on_class) == 1;
      }
    }
  }
  for (int event = 0; event < 2; ++event) {
    for (int size = 0; size <= 64; ++size) {
      EXPECT_TRUE(interface_type_of_size[event][size]) << "no interface header of " << size;
    }
  }
  for (int acted_on_class = 0; acted_on_class < ACTED_ON_CLASS_COUNT; ++acted_on_class) {
    EXPECT_TRUE(spoilt_class[acted_on_class]) << "class acted on " << acted_on_class << " unspoilt";
  }
  // The sender process draws it again: the same seed must give the same storm.
  std::vector<HostileMessage> again = hostile_storm();
  ASSERT_EQ(again.size(), storm.size());
  for (size_t i = 0; i < storm.size(); ++i) {
    EXPECT_TRUE(again[i].event == storm[i].event && again[i].null_header == storm[i].null_header &&
                again[i].buffer == storm[i].buffer)
        << "message " << i << " drawn differently";
  }
}

TEST_F(HostileSenders, MalformedHeadersFromAnotherProcessCauseNoFaultAndNoReset) {
  load_settled(L"kestrune.dll", VERBOSE_LOG_BUILT_IN);
  ASSERT_EQ(storm_from_another_process(), 0u) << "the sender could not deliver the storm";
  expect_storm_arrived_as_sent();
  expect_no_fault_and_nothing_acted_on();
  expect_one_reset_after_a_valid_notice();
}

// The diagnostic variant takes another path on an accepted notice, and its console shows that
// every message reached the decision and was turned away there.
TEST_F(HostileSenders, DiagnosticVariantTurnsAwayEveryMalformedHeader) {
  load_settled(L"diagnostic\\kestrune.dll", true);
  host_clear_journal();
  ASSERT_EQ(storm_from_another_process(), 0u) << "the sender could not deliver the storm";
  expect_storm_arrived_as_sent();
  int received = lines_containing("[DEVICE_CHANGE] Received");
  EXPECT_EQ(received, static_cast<int>(arrived.size()));
  EXPECT_EQ(lines_containing("[INVALID_HDR]") + lines_containing("[NON_AUDIO]"), received);
  EXPECT_EQ(lines_containing("[AUDIO_DEVICE]") + lines_containing("[MIDI_PORT]"), 0);
  expect_no_fault_and_nothing_acted_on();
  expect_one_reset_after_a_valid_notice();
}

// Sent from the window's own thread, the procedure gets the very bytes given, so every size
// reaches it, 1 to 11 included, and each header can end right where an inaccessible page begins:
// a read past its own size is recorded.
TEST_F(HostileSenders, SameStormFromTheWindowThreadReadsNothingPastAnyHeader) {
  load_settled(L"kestrune.dll", VERBOSE_LOG_BUILT_IN);
  ASSERT_TRUE(guarded_page_create());
  HWND window = plugin_window();
  ASSERT_NE(window, nullptr);
  for (const HostileMessage& message : hostile_storm()) {
    const unsigned char* header = nullptr;
    if (!message.null_header) {
      // The size field itself is always there to read.
      size_t size = claimed_size(message) < sizeof(DWORD) ? sizeof(DWORD) : claimed_size(message);
      unsigned char* placed = guarded_page_tail(size);
      std::memcpy(placed, message.buffer.data(), size);
      header = placed;
    }
    SendMessageW(window, WM_DEVICECHANGE, message.event, reinterpret_cast<LPARAM>(header));
  }
  EXPECT_EQ(guarded_page_faults(), 0)
      << "read "
      << static_cast<const unsigned char*>(guarded_page_first_fault()) -
             static_cast<const unsigned char*>(guarded_page_inaccessible())
      << " bytes past the end of a header";
  expect_no_fault_and_nothing_acted_on();
}
