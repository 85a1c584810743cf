// The native tests' vocabulary around the host double (sim/host_double.h): a fresh module for
// every test, one set-up of a loaded and settled plug-in, the monitor's timing as a test states
// it, and a notice written as a scenario line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/host_api.h"
#include "platform/simulated/sim_control.h"
#include "sim/fresh_module.h"
#include "sim/host_double.h"
#include "sim/monitor_snapshot.h"

// A record the plug-in accepts: the right version and all six functions. `missing` names one
// function that get_function does not know (empty for none).
HostPluginInfo make_host_record(const std::string& missing = "");

// A fresh module with the diagnostic switch as given and its slots filled as a successful load
// would fill them, without loading: for tests of the monitor alone.
void module_with_host_functions(bool diagnostic);

// The plug-in loaded through its entry point, its window up and its tick registered, settled
// with these baseline counts; the host's journal and the call counts cleared.
void settled_plugin(unsigned inputs, unsigned outputs, bool diagnostic);

// Ticks as the host calls them, a tick period apart.
void run_ticks(int count);

// The monitor as a test states it: settled with a baseline and nothing pending; then with a
// verification, a look or a reset pending, with the ticks each has left.
MonitorSnapshot settled(int32_t inputs, int32_t outputs);
MonitorSnapshot verifying(MonitorSnapshot monitor, int32_t ticks_left);
MonitorSnapshot looking(MonitorSnapshot monitor, int32_t ticks_left, bool last);
MonitorSnapshot resetting(MonitorSnapshot monitor, int32_t ticks_left);

// Scenario lines played as velmar-sim plays them, such as "notify arrival midi-in size 20 now".
void play_line(const std::string& line);

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { start_fresh_module(false); }
};
