// Every test of the real DLL starts with a fresh copy of kestrune.dll loaded into this process by
// the test host, and unloads and frees it at the end, so no module state carries over.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "monitor/monitor_state.h"
#include "tests/windows/dll_host.h"

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
    host_ticks(INIT_DELAY_TICKS);
  }
};
