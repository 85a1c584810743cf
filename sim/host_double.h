// The host the plug-in is loaded into, for velmar-sim and every test in either world: the record
// passed at load, the six functions the plug-in imports by name, and the tick it registers. What
// the plug-in does through them goes into a fixed-size journal, which allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"

enum HostEventKind {
  HOST_CONSOLE,       // a line the plug-in wrote to the console
  HOST_COMMAND,       // a host command the plug-in ran
  HOST_UNUSED_CALLED  // one of the four functions the plug-in imports but must never call
};

// Longer than any console line the plug-in may write (255 characters and the terminator).
constexpr size_t HOST_TEXT_CAPACITY = 320;

struct HostEvent {
  HostEventKind kind;
  int32_t command;  // HOST_COMMAND
  int32_t flag;
  // HOST_CONSOLE: the text as written, cut to fit; HOST_UNUSED_CALLED: the function's name.
  char text[HOST_TEXT_CAPACITY];
};

// The journal keeps this many events; later ones are still counted.
constexpr int HOST_JOURNAL_CAPACITY = 4096;

// The plug-in's entry, as the host finds it in the module.
using PluginEntryFn = int32_t (*)(void* instance, HostPluginInfo* info);

// A host that has loaded nothing: empty journal, lookups and registrations; no tick or observer.
void host_reset();

// A record for one load call, valid until the next. `missing` has one bit per host function, in
// the plug-in's import order (host_import_bit), for the functions get_function does not know.
HostPluginInfo* host_record(int32_t api_version = HOST_API_VERSION, unsigned missing = 0);
// The bit of the host function of that name; 0 for a name the plug-in does not import.
unsigned host_import_bit(const char* name);
// Calls `entry` as the host loads the plug-in, with a record, or unloads it, with null; under
// Windows with the host's executable as the instance, as a host passes its own.
int32_t host_call_entry(PluginEntryFn entry, bool load);

// How often the host ticks. Natively host_pass_tick_period moves the simulated clock on by it;
// elsewhere it does nothing, as the real clock runs anyway.
constexpr unsigned HOST_TICK_PERIOD_MS = 33;
void host_pass_tick_period();

// The host's periodic call: the tick registered under "timer", if one ever was, a tick period
// after the last. An unload does not withdraw it, and the host keeps calling it.
void host_call_tick();
void host_call_ticks(long count);
// The settling after a load run out, on a machine whose counts are then the baseline.
void host_settle(unsigned inputs = 1, unsigned outputs = 1);
void* host_tick_address();
// Forgets the tick, as a host does once it has freed the module that registered it.
void host_forget_tick();

// How many names were passed to register_callback; host_lookups and host_registrations give back
// the first HOST_NAMES_KEPT passed to get_function and to it, in order.
constexpr int HOST_NAMES_KEPT = 64;
int host_registration_count();
// All of them that name no function the plug-in imports, or register something else than "timer".
int host_unknown_name_count();

int host_console_count();  // all since the last clear, kept in the journal or not
int host_command_count();
// Lines that break the console's form ("Kestrune: " first, "\n" last), and commands other than
// the reset (41175 with 0).
int host_malformed_line_count();
int host_unexpected_command_count();
// Empties the journal and its counts; lookups, registrations and the tick stay.
void host_clear_journal();

// Called after each event is journaled, on the thread that made the call: velmar-sim prints it,
// and a test may re-enter the plug-in from there, as a host's console or command may.
using HostObserver = void (*)(const HostEvent& event);
void host_observe(HostObserver observer);

// Copies of what the journal holds, for tests whose failures then print readably. They allocate.
struct HostCommand {
  int32_t command;
  int32_t flag;
};
std::vector<std::string> host_console();
std::vector<HostCommand> host_commands();
std::vector<std::string> host_lookups();
std::vector<std::string> host_registrations();
