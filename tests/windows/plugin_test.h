// The set-ups of the tests of the real DLL: a fresh copy of kestrune.dll loaded by the test host,
// still settling or settled, and unloaded and freed at the end, so no module state carries over.
#pragma once

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "monitor/monitor_state.h"
#include "sim/notice_sender.h"
#include "sim/plugin_module.h"
#include "sim/plugin_windows.h"

// After a notice handled outside a tick, or in the tick just run: the reset comes on the last of
// the ticks it is due in, not a tick earlier or later, and no second one follows it.
inline void expect_reset_on_tick(int ticks) {
  host_call_ticks(ticks - 1);
  EXPECT_TRUE(host_commands().empty()) << "reset before its tick";
  host_call_tick();
  ASSERT_EQ(host_commands().size(), 1u) << "no reset on its tick";
  EXPECT_EQ(host_commands()[0].command, RESET_COMMAND_ID);
  EXPECT_EQ(host_commands()[0].flag, 0);
  host_call_ticks(LAST_LOOK_TICKS + RESET_DELAY_TICKS);
  EXPECT_EQ(host_commands().size(), 1u) << "more than one reset for one change";
}

// A fresh copy of the plain variant, with the winmm double at no MIDI ports, still settling.
class FreshPluginTest : public ::testing::Test {
 protected:
  void SetUp() override { load_fresh(PLAIN_DLL); }

  void TearDown() override { free_plugin(); }

  // A fresh copy of `file` in place of the one loaded before.
  void load_fresh(const wchar_t* file) {
    free_plugin();
    std::string error;
    ASSERT_TRUE(world_load_fresh(file, &error)) << error;
    loaded = true;
    // The plain variant verifies the counts a few ticks after the notice; the diagnostic one looks
    // at once, sees the change and schedules the reset straight away.
    bool diagnostic = VERBOSE_LOG_BUILT_IN || std::wcscmp(file, DIAGNOSTIC_DLL) == 0;
    notice_to_reset_ticks = diagnostic ? RESET_DELAY_TICKS : CHECK_DELAY_TICKS + RESET_DELAY_TICKS;
  }

  // The entry called with a null record; the module stays mapped, as in the host until it frees it.
  int32_t unload() {
    loaded = false;
    return host_call_entry(world_entry(), false);
  }

  // Unloads the copy if it is still loaded, then frees it, as the host does at its end.
  void free_plugin() {
    if (loaded) {
      unload();
    }
    world_close();
  }

  // The counts move by one input and `arrival` announces it, delivered by one tick's drain
  // (sim/notice_sender.h): the reset comes on its tick, counted from that one. On Windows a notice
  // from another process that never arrives skips the test.
  void expect_one_reset_for(const char* (*arrival)()) {
    winmm_double_set_midi_counts(2, 1);
    const char* failure = arrival();
    if (failure == NOTICE_NEVER_ARRIVED && !running_under_wine()) {
      GTEST_SKIP() << "0 of 1 valid notices from another process arrived: " << failure;
    }
    ASSERT_STREQ(failure, nullptr);
    expect_reset_on_tick(notice_to_reset_ticks - 1);
  }

  bool loaded = false;
  // Ticks from the one that handles an accepted notice, the MIDI counts having changed, to the one
  // that runs the reset, both included.
  int notice_to_reset_ticks = 0;
};

// The same copy once its settling has run out, with one MIDI input and one output as the baseline.
class SettledPluginTest : public FreshPluginTest {
 protected:
  void SetUp() override {
    FreshPluginTest::SetUp();
    host_settle();
  }
};
