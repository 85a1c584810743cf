// The native tests' vocabulary around the host double (sim/host_double.h): a fresh module per test,
// a settled plug-in, the monitor's timing as a test states it, notices as scenario lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "platform/simulated/sim_control.h"
#include "sim/fresh_module.h"
#include "sim/host_double.h"
#include "sim/monitor_snapshot.h"

constexpr char INIT_START_LINE[] =
    "Kestrune: [INIT_START] Starting delayed initialization (90 ticks) to let VELMAR MIDI system "
    "stabilize\n";

// A record the plug-in accepts: the right version and all six functions. `missing` names one
// function that get_function does not know (empty for none).
HostPluginInfo make_host_record(const std::string& missing = "");

// The entry point as the host calls it to load and to unload.
int32_t load_plugin(HostPluginInfo* info = host_record());
int32_t unload_plugin();

// A fresh module with the diagnostic switch as given and its slots filled as a load fills them,
// nothing loaded: for tests of the monitor alone.
void module_with_host_functions(bool diagnostic);

// Loaded by the entry point and settled at these baseline counts; journal and call counts cleared.
void settled_plugin(unsigned inputs, unsigned outputs, bool diagnostic);

// Ticks as the host calls them, a tick period apart.
void run_ticks(int count);

// The host's own message loop, between ticks or inside one of its calls.
void retrieve_messages();

// The monitor as a test states it: settled with a baseline and nothing pending; then settling,
// or with a verification, a look or a reset pending, with the ticks each has left.
MonitorSnapshot settled(int32_t inputs, int32_t outputs);
MonitorSnapshot settling(MonitorSnapshot monitor, int32_t ticks_left);
MonitorSnapshot verifying(MonitorSnapshot monitor, int32_t ticks_left);
MonitorSnapshot looking(MonitorSnapshot monitor, int32_t ticks_left, bool last);
MonitorSnapshot resetting(MonitorSnapshot monitor, int32_t ticks_left);

// Scenario lines played as velmar-sim plays them, such as "notify arrival midi-in size 20 now".
void play_line(const std::string& line);

// A window class of that name under that module, as another module or the host registers one.
ATOM register_window_class(LPCWSTR name, HINSTANCE instance, WNDPROC procedure = DefWindowProcW);

// The simulated platform's call journal as names, so that a failed comparison names the calls.
std::vector<std::string> journal_names();

// What an unload with nothing to release calls: it only unregisters the class name.
const std::vector<std::string> CLASS_UNREGISTRATION_ONLY = {"GetModuleHandleExW",
                                                            "UnregisterClassW"};

// Reads of the two MIDI counts together, since the last clear of the calls.
int count_reads();

// Classes, windows, device registrations and suspend/resume registrations alive.
std::vector<int> live_objects();
const std::vector<int> NOTHING_LIVE = {0, 0, 0, 0};
const std::vector<int> MONITORING_LIVE = {1, 1, 3, 1};

// Names each test of a table after its row.
struct RowName {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return info.param.name;
  }
};

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { start_fresh_module(false); }
};
