// After load the plug-in allocates nothing: a host may call its tick from a time-critical loop,
// and a notification may arrive in any message retrieval. AddressSanitizer's allocation hooks
// count every allocation made while a plug-in function runs, operator new's included.
#include <cstdio>

#include "monitor/device_change.h"
#include "monitor/monitor_state.h"
#include "sim/asan_build.h"
#include "tests/unit/test_host.h"

#if KESTRUNE_ASAN
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// GCC ships the runtime function without its header.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*));
#endif
#endif

namespace {

// Set only around plug-in calls, so the test's own set-up (queueing grows a vector) is not counted.
bool counting;
int allocations;

// Hooks only where the sanitizer can call them; it keeps them for good and has room for few.
#if KESTRUNE_ASAN
void count_allocation(const volatile void*, size_t) {
  if (counting) {
    ++allocations;
  }
}

void ignore_free(const volatile void*) {}

bool install_hooks() {
  static const bool installed =
      __sanitizer_install_malloc_and_free_hooks(count_allocation, ignore_free) != 0;
  return installed;
}
#else
bool install_hooks() {
  return false;
}
#endif

// Runs `call` with the plug-in's allocations counted; returns how many there were.
template <typename Call>
int allocations_in(Call call) {
  allocations = 0;
  counting = true;
  call();
  counting = false;
  return allocations;
}

// Ticks as the host makes them; its journal is of fixed size, so the host allocates nothing either.
int counted_ticks(int count) {
  return allocations_in([count] { host_call_ticks(count); });
}

// A hundred insertions and removals, each followed by time enough for its reset. Deliveries
// alternate between the tick's drain and the host's own loop; every third insertion has its
// ports counted after the verification, so that a look sees them.
int plug_cycles(int cycles) {
  int counted = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    if (cycle % 3 == 2) {
      sim_announce_interface(DBT_DEVICEARRIVAL, KSCATEGORY_AUDIO);
      counted += counted_ticks(CHECK_DELAY_TICKS + 1);
      sim_set_midi_counts(2, 1);
    } else {
      sim_plug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
    }
    if (cycle % 2 == 1) {
      counted += allocations_in(retrieve_messages);
    }
    counted += counted_ticks(SECOND_LOOK_TICKS + RESET_DELAY_TICKS);
    sim_unplug_device(SIM_MIDI_INPUT, KSCATEGORY_AUDIO);
    if (cycle % 2 == 1) {
      counted += allocations_in(retrieve_messages);
    }
    counted += counted_ticks(CHECK_DELAY_TICKS + RESET_DELAY_TICKS);
  }
  return counted;
}

}  // namespace

using NoAllocationAfterLoad = MonitorTest;

TEST_F(NoAllocationAfterLoad, TicksDeliveriesAndUnloadAllocateNothing) {
  if (!install_hooks()) {
    GTEST_SKIP() << "needs AddressSanitizer's allocation hooks";
  }

  // The counter must be able to see an allocation, or a zero below would prove nothing.
  static int* volatile sink;
  ASSERT_EQ(allocations_in([] { sink = new int(7); }), 1);
  delete sink;

  HostPluginInfo* record = host_record();
  sim_set_midi_counts(1, 1);
  int32_t loaded = 0;
  int at_load = allocations_in([record, &loaded] { loaded = load_plugin(record); });
  ASSERT_EQ(loaded, 1);
  ASSERT_NE(host_tick_address(), nullptr);
  RecordProperty("allocations_during_load", at_load);
  std::printf("allocations during load: %d\n", at_load);

  EXPECT_EQ(counted_ticks(INIT_DELAY_TICKS), 0) << "settling";
  ASSERT_EQ(monitor_state.last_in_count, 1);

  monitor_state.verbose_log = false;
  EXPECT_EQ(plug_cycles(100), 0) << "device cycles, logging off";
  EXPECT_EQ(host_command_count(), 200);
  EXPECT_EQ(host_console_count(), 0);

  monitor_state.verbose_log = true;
  EXPECT_EQ(plug_cycles(100), 0) << "device cycles, logging on";
  EXPECT_EQ(host_command_count(), 400);
  EXPECT_GT(host_console_count(), 0);

  sim_announce_interface(DBT_DEVICEARRIVAL, MIDI_INPUT_PORT_INTERFACE);
  EXPECT_EQ(counted_ticks(LAST_LOOK_TICKS + RESET_DELAY_TICKS), 0)
      << "a port's every look, counts unmoved, logging on";
  EXPECT_FALSE(monitor_state.look_pending);
  EXPECT_EQ(host_command_count(), 401);
  sim_advance_clock(3000);
  sim_power_event(PBT_APMRESUMEAUTOMATIC);
  EXPECT_EQ(counted_ticks(CHECK_DELAY_TICKS + RESET_DELAY_TICKS), 0) << "a stall and a resume";
  EXPECT_EQ(host_command_count(), 402);

  EXPECT_EQ(allocations_in(unload_plugin), 0) << "unload";
  EXPECT_EQ(sim_window_count(), 0);
  EXPECT_EQ(counted_ticks(10), 0) << "ticks after unload";
}
