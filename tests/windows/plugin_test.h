// Every test of the real DLL starts with a fresh copy of kestrune.dll loaded into this process by
// the test host, and unloads and frees it at the end, so no module state carries over.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "monitor/monitor_state.h"
#include "tests/windows/device_messages.h"
#include "tests/windows/dll_host.h"

// Ticks from the one that handles an accepted notice, the MIDI counts having changed, to the one
// that runs the reset, both included. The plain DLL verifies the counts a few ticks later; the
// diagnostic one looks at once, sees the change and schedules the reset straight away.
constexpr int NOTICE_TO_RESET_TICKS =
    VERBOSE_LOG_BUILT_IN ? RESET_DELAY_TICKS : CHECK_DELAY_TICKS + RESET_DELAY_TICKS;

// After a notice handled outside a tick, or in the tick just run: the reset comes on the last of
// the ticks it is due in, not a tick earlier or later.
inline void expect_reset_on_tick(int ticks) {
  host_call_ticks(ticks - 1);
  EXPECT_TRUE(host_commands().empty()) << "reset before its tick";
  host_call_tick();
  ASSERT_EQ(host_commands().size(), 1u) << "no reset on its tick";
  EXPECT_EQ(host_commands()[0].command, RESET_COMMAND_ID);
  EXPECT_EQ(host_commands()[0].flag, 0);
}

class LoadedPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(winmm_double_ready(&error)) << error;
    winmm_double_set_counts(0, 0);
    int32_t loaded = 0;
    ASSERT_TRUE(host_load_plugin(path_beside_program(L"kestrune.dll").c_str(), &loaded, &error))
        << error;
    ASSERT_EQ(loaded, 1);
  }

  void TearDown() override {
    if (host_plugin_active()) {
      host_unload_plugin();
    }
    host_free_plugin();
  }

  // Lets the start-up settling run out with these counts as the baseline.
  void settle(UINT inputs, UINT outputs) {
    winmm_double_set_counts(inputs, outputs);
    host_call_ticks(INIT_DELAY_TICKS);
  }

  // An audio-class arrival sent to the plug-in's window from another thread, as the system sends
  // it, and the one tick whose drain must deliver it.
  void notice_arrival_in_one_tick() {
    DeviceChangeSender sender{nullptr, plugin_window(), DBT_DEVICEARRIVAL,
                              interface_header(KSCATEGORY_AUDIO)};
    ASSERT_NE(sender.window, nullptr) << "no plug-in window";
    ASSERT_TRUE(send_from_another_thread(&sender)) << "the message never reached the queue";
    host_call_tick();
    EXPECT_TRUE(sender_finished(sender, 10000)) << "the tick's drain did not deliver the message";
    join_sender(&sender);
  }
};
