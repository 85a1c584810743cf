// The unit tests' set-up around the host double (sim/host_double.h): a fresh monitor state,
// simulated machine and host for every test, and the monitor settled as a test needs it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "platform/simulated/sim_control.h"
#include "sim/host_double.h"

// A record the plug-in accepts: the right version and all six functions. `missing` names one
// function that get_function does not know (empty for none).
HostPluginInfo make_host_record(const std::string& missing = "");

// Fills the slots as a successful load would, without loading: for tests of the monitor alone.
void install_host_functions();

// Every test starts from a module just loaded into a fresh process on a fresh machine: monitor
// state at its initial values with the diagnostic switch as given, simulation reset, host
// journal empty.
void reset_world(bool diagnostic);

// Ticks as the host calls them.
void run_ticks(int count);

// Monitor idle after settling, with baseline counts in and out and the slots filled, no window.
void settle_monitor(unsigned inputs, unsigned outputs, bool diagnostic);

// The same, but started as a load starts it: through start_device_monitoring(), so the real
// notification window exists (in monitor_state.notify_window) and is registered for
// audio-class interfaces.
void settle_with_window(unsigned inputs, unsigned outputs, bool diagnostic);

// An arrival or removal notification as the system delivers it: a device-interface header of
// the given class, with a symbolic-link name after it.
struct InterfaceHeader {
  DEV_BROADCAST_DEVICEINTERFACE_A header;
  char name_rest[32];
};
InterfaceHeader make_interface_header(const GUID& interface_class);

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_world(false); }
};
