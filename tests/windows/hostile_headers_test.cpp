// Any process may send WM_DEVICECHANGE to the plug-in's window with any second parameter. None of
// these notices is a valid interface of a class the plug-in acts on: it must neither fault on them
// nor act on them, and as the counts have changed before each, one accepted would lead to a reset.
// From the window's own thread the procedure gets the very address given, not a copy: headers are
// put right before an inaccessible page (or the page itself is passed) and every read of it is
// recorded, so the plug-in must read no further than a header's size says, nor at all for events
// without one. From another process comes the storm of sim/notice_headers.h, after which one valid
// notice must still lead to exactly one reset.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/device_notice.h"
#include "sim/notice_headers.h"
#include "tests/windows/fault_watch.h"
#include "tests/windows/plugin_test.h"

namespace {

constexpr DWORD SHORTEST_HEADER = sizeof(DEV_BROADCAST_HDR);

struct ArrivedMessage {
  WPARAM event;
  WPARAM index;             // in the storm, as the sender announced it
  const unsigned char* at;  // where the procedure was handed it
  DWORD size;               // as the header arrived, 0 for a null one
  std::vector<unsigned char> header;
};

WNDPROC plugin_procedure;
std::vector<ArrivedMessage> arrived;
WPARAM announced_index;
// Headers sent from this thread that reached the procedure elsewhere than where they were placed.
int copies_received;

// Put in front of the plug-in's own procedure while messages are sent, to see what it is handed:
// the header as copied into this process. A hook would not do: Wine calls it before the header is
// copied, with the sender's address. It never reads the inaccessible page itself.
LRESULT CALLBACK record_device_change(HWND window, UINT message, WPARAM first, LPARAM second) {
  const unsigned char* header = reinterpret_cast<const unsigned char*>(second);
  if (message == WM_APP) {
    announced_index = first;
    return 0;
  }
  if (message == WM_DEVICECHANGE) {
    ArrivedMessage seen{first, announced_index, header, 0, {}};
    if (header != nullptr && header != guarded_page_inaccessible()) {
      std::memcpy(&seen.size, header, sizeof seen.size);
      if (seen.size >= SHORTEST_HEADER && seen.size <= LARGEST_HEADER) {
        seen.header.assign(header, header + seen.size);
      }
    }
    arrived.push_back(seen);
  }
  return CallWindowProcW(plugin_procedure, window, message, first, second);
}

void record_arrivals(HWND window, bool on) {
  auto procedure = on ? &record_device_change : plugin_procedure;
  auto previous = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
  plugin_procedure = on ? reinterpret_cast<WNDPROC>(previous) : plugin_procedure;
}

int lines_containing(const char* text) {
  int count = 0;
  for (const std::string& line : host_console()) {
    count += line.find(text) != std::string::npos ? 1 : 0;
  }
  return count;
}

class HostileHeaders : public FreshPluginTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(guarded_page_create());
    copies_received = 0;
    FreshPluginTest::SetUp();
  }

  void TearDown() override {
    FreshPluginTest::TearDown();
    stop_watching_for_faults();
  }

  // From here on a notice accepted leads to a reset, and reads the counts: the reads so far are
  // the mark that nothing below may move.
  void settle_and_change_counts() {
    host_settle();
    winmm_double_set_midi_counts(2, 1);
    count_reads_at_start = winmm_double_midi_in_calls() + winmm_double_midi_out_calls();
  }

  void send(WPARAM event, const void* second) {
    HWND window = plugin_window();
    ASSERT_NE(window, nullptr);
    arrived.clear();
    record_arrivals(window, true);
    SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(second));
    record_arrivals(window, false);
    copies_received += arrived.size() != 1 || arrived[0].at != second ? 1 : 0;
  }

  // `size` bytes of `header`, ending where the inaccessible page begins.
  void send_before_the_page(WPARAM event, const unsigned char* header, size_t size) {
    unsigned char* placed = guarded_page_tail(size);
    std::memcpy(placed, header, size);
    send(event, placed);
  }

  // Ticks as the host does while the sender process sends, so each message is handled in a
  // tick's drain and anything it scheduled counts down meanwhile. Returns the sender's exit code.
  DWORD storm_from_another_process() {
    HWND window = plugin_window();
    PROCESS_INFORMATION process = {};
    if (window == nullptr || !start_sender_process(L" storm", &process)) {
      ADD_FAILURE() << "no plug-in window, or no sender process (error " << GetLastError() << ")";
      return 1;
    }
    arrived.clear();
    record_arrivals(window, true);
    deliver_until_ended(process.hProcess, SENDER_PROCESS_TIMEOUT_MS, host_call_tick);
    record_arrivals(window, false);
    return finish_program(&process, SENDER_PROCESS_TIMEOUT_MS);
  }

  // What the plug-in was handed must be the storm itself, or the test could pass on messages lost
  // or mangled on the way. Under Wine byte for byte: Wine 8 copies exactly dbch_size bytes between
  // processes and drops a header too short for DEV_BROADCAST_HDR unless it is empty; an empty or
  // null one arrives pointing at whatever the receiver last left there, so only its event is known.
  // Windows documents only that a header begins with DEV_BROADCAST_HDR: there the counts by size
  // go to the log, and only a header that arrives twice or larger than sent fails.
  void expect_storm_arrived_as_sent() {
    std::vector<HostileMessage> storm = hostile_storm();
    std::vector<int> arrivals(storm.size());
    int differing = 0;
    for (const ArrivedMessage& seen : arrived) {
      ASSERT_LT(seen.index, storm.size());
      const HostileMessage& sent = storm[seen.index];
      DWORD size = sent.null_header ? 0 : claimed_size(sent);
      ++arrivals[seen.index];
      EXPECT_FALSE(size >= sizeof size && seen.size > size)
          << "message " << seen.index << " of " << size << " bytes arrived as " << seen.size;
      differing +=
          seen.event != sent.event ||
          (size >= SHORTEST_HEADER && !std::equal(seen.header.begin(), seen.header.end(),
                                                  sent.buffer.begin(), sent.buffer.begin() + size));
    }
    // Arrived and sent by the size a header claims: null headers first, then 0 to 64 bytes.
    int of_size[2][LARGEST_HEADER + 2] = {};
    for (size_t i = 0; i < storm.size(); ++i) {
      size_t bucket = storm[i].null_header ? 0 : claimed_size(storm[i]) + 1;
      of_size[0][bucket] += arrivals[i];
      ++of_size[1][bucket];
      bool under_wine = bucket <= 1 || bucket > SHORTEST_HEADER;
      EXPECT_EQ(arrivals[i], running_under_wine() ? under_wine : std::min(arrivals[i], 1))
          << "message " << i << " lost or added on the way";
    }
    std::string counts;
    for (size_t bucket = 0; bucket <= LARGEST_HEADER + 1; ++bucket) {
      counts += (bucket == 0 ? " null " : " " + std::to_string(bucket - 1) + " ") +
                std::to_string(of_size[0][bucket]) + "/" + std::to_string(of_size[1][bucket]);
    }
    std::printf("first-run: storm from another process, arrived/sent by claimed size:%s\n",
                counts.c_str());
    EXPECT_TRUE(differing == 0 || !running_under_wine()) << differing << " messages mangled";
  }

  void expect_no_fault() {
    if (copies_received > 0) {
      GTEST_SKIP() << copies_received << " headers reached the procedure as a copy, not at the "
                   << "address placed before the inaccessible page: its reads prove nothing here";
    }
    EXPECT_EQ(guarded_page_faults(), 0)
        << "read " << guarded_page_first_fault_offset() << " bytes past the end";
    DWORD first_code = 0;
    EXPECT_EQ(faults_seen(&first_code), 0) << "faulted with exception 0x" << std::hex << first_code;
  }

  // Long enough for a verification and the reset it would schedule to have come.
  void expect_nothing_acted_on() {
    host_call_ticks(notice_to_reset_ticks + 1);
    EXPECT_TRUE(host_commands().empty()) << "reset after notices that name no class acted on";
    EXPECT_EQ(winmm_double_midi_in_calls() + winmm_double_midi_out_calls(), count_reads_at_start)
        << "the counts were read: a verification was scheduled";
  }

  LONG count_reads_at_start = 0;
};

using HeaderBounds = HostileHeaders;
using HostileSenders = HostileHeaders;

}  // namespace

// The check the other tests rely on: a read of the page is seen, and the program survives it.
TEST_F(HeaderBounds, ReadOfTheInaccessiblePageIsRecorded) {
  volatile const unsigned char* beyond =
      static_cast<const unsigned char*>(guarded_page_inaccessible()) + 3;
  unsigned char value = *beyond;
  EXPECT_EQ(value, 0);
  EXPECT_EQ(guarded_page_faults(), 1);
  EXPECT_EQ(guarded_page_first_fault_offset(), 3);
}

// The shortest header holding the class has all the plug-in needs: accepted, with nothing after.
TEST_F(HeaderBounds, InterfaceHeaderWithoutNameBeforeAnInaccessiblePageIsAccepted) {
  settle_and_change_counts();
  DeviceNotice nameless = interface_notice(KSCATEGORY_AUDIO, "");
  nameless.size = NOTICE_NAME_OFFSET;
  put_notice_field(&nameless, NOTICE_SIZE_OFFSET, NOTICE_NAME_OFFSET);
  send_before_the_page(DBT_DEVICEREMOVECOMPLETE, nameless.bytes, nameless.size);
  expect_no_fault();
  expect_reset_on_tick(notice_to_reset_ticks);
}

// The storm another process sends below: from this thread every size reaches the procedure, 1 to
// 11 included, with at least the size field itself there to read.
TEST_F(HeaderBounds, HostileStormReadsNothingPastAnyHeaderAndIsNotActedOn) {
  settle_and_change_counts();
  for (const HostileMessage& message : hostile_storm()) {
    if (message.null_header) {
      send(message.event, nullptr);
    } else {
      DWORD size = claimed_size(message);
      send_before_the_page(message.event, message.buffer.data(), size < 4 ? 4 : size);
    }
  }
  expect_no_fault();
  expect_nothing_acted_on();
}

// During the settling after the load even an arrival is dropped before its header is looked at;
// after it, every event other than an arrival or a removal is.
TEST_F(HeaderBounds, ArrivalDuringSettlingAndOtherEventTypesNeverReadTheSecondParameter) {
  send(DBT_DEVICEARRIVAL, guarded_page_inaccessible());
  send(DBT_DEVICEREMOVECOMPLETE, guarded_page_inaccessible());
  settle_and_change_counts();
  const WPARAM events[] = {DBT_DEVNODES_CHANGED,  DBT_QUERYCHANGECONFIG,   DBT_CONFIGCHANGED,
                           DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVEPENDING, DBT_DEVICETYPESPECIFIC,
                           DBT_CUSTOMEVENT,       DBT_USERDEFINED};
  for (WPARAM event : events) {
    send(event, guarded_page_inaccessible());
  }
  expect_no_fault();
  expect_nothing_acted_on();
}

// The data itself: a storm that held a valid header, lacked the short interface headers or left
// a class acted on unspoilt would prove nothing in the storm tests.
TEST_F(HostileSenders, StormCoversEverySizeAndEveryClassAndHoldsNoValidHeader) {
  std::vector<HostileMessage> storm = hostile_storm();
  bool interface_type_of_size[2][LARGEST_HEADER + 1] = {};
  bool spoilt_class[ACTED_ON_CLASS_COUNT] = {};
  for (const HostileMessage& message : storm) {
    ASSERT_TRUE(message.event == DBT_DEVICEARRIVAL || message.event == DBT_DEVICEREMOVECOMPLETE);
    if (message.null_header) {
      continue;
    }
    DWORD size = claimed_size(message);
    ASSERT_LE(size, LARGEST_HEADER);
    ASSERT_GE(message.buffer.size(), size);
    EXPECT_FALSE(is_acted_on(message.buffer.data(), size)) << size << " bytes";
    DWORD type;
    std::memcpy(&type, message.buffer.data() + NOTICE_TYPE_OFFSET, sizeof type);
    if (type == DBT_DEVTYP_DEVICEINTERFACE) {
      interface_type_of_size[message.event == DBT_DEVICEARRIVAL ? 0 : 1][size] = true;
      for (int acted_on_class = 0; acted_on_class < ACTED_ON_CLASS_COUNT; ++acted_on_class) {
        spoilt_class[acted_on_class] |=
            size >= NOTICE_NAME_OFFSET &&
            differing_class_bits(message.buffer.data(), acted_on_class) == 1;
      }
    }
  }
  for (int event = 0; event < 2; ++event) {
    for (DWORD size = 0; size <= LARGEST_HEADER; ++size) {
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
  settle_and_change_counts();
  ASSERT_EQ(storm_from_another_process(), 0u) << "the sender could not deliver the storm";
  expect_storm_arrived_as_sent();
  expect_no_fault();
  expect_nothing_acted_on();
  expect_one_reset_for(arrival_from_another_process_in_one_tick);
}

// The diagnostic variant takes another path on an accepted notice, and its console shows that
// every message reached the decision and was turned away there.
TEST_F(HostileSenders, DiagnosticVariantTurnsAwayEveryMalformedHeader) {
  ASSERT_NO_FATAL_FAILURE(load_fresh(DIAGNOSTIC_DLL));
  // Whether the window hears suspend and resume at all is for the first run to tell.
  bool resume_heard = lines_containing("suspend/resume") == 0;
  std::printf("first-run: suspend/resume registration: %s\n",
              resume_heard ? "registered" : "failed");
  EXPECT_TRUE(resume_heard || !running_under_wine());
  settle_and_change_counts();
  host_clear_journal();
  ASSERT_EQ(storm_from_another_process(), 0u) << "the sender could not deliver the storm";
  expect_storm_arrived_as_sent();
  int received = lines_containing("[DEVICE_CHANGE] Received");
  EXPECT_EQ(received, static_cast<int>(arrived.size()));
  EXPECT_EQ(lines_containing("[INVALID_HDR]") + lines_containing("[NON_AUDIO]"), received);
  EXPECT_EQ(lines_containing("[AUDIO_DEVICE]") + lines_containing("[MIDI_PORT]"), 0);
  expect_no_fault();
  expect_nothing_acted_on();
  expect_one_reset_for(arrival_from_another_process_in_one_tick);
}
