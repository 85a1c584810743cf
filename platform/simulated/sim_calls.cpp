// The call journal, counters and failure injection: every simulated call passes through
// sim_enter() first, so a test sees what the plug-in called, in order, and fails any nth call.
#include <cstring>

#include "platform/simulated/sim_internal.h"

namespace {

const bool call_can_fail[SIM_CALL_COUNT] = {
#define SIM_CALL_CAN_FAIL(identifier, name, can_fail) can_fail,
    SIM_CALLS(SIM_CALL_CAN_FAIL)
#undef SIM_CALL_CAN_FAIL
};

// Fixed arrays: a call recorded must not spoil the proof that the plug-in's path allocates nothing.
int call_counts[SIM_CALL_COUNT];
SimCall journal[SIM_JOURNAL_CAPACITY];
int journal_length;
int fail_countdown[SIM_CALL_COUNT];
DWORD fail_error[SIM_CALL_COUNT];
int any_fail_countdown;
DWORD any_fail_error;
SimCall any_failed_call = SIM_CALL_COUNT;

thread_local DWORD last_error;
// A machine up for an hour: 0 is never a time the system reports.
constexpr ULONGLONG CLOCK_AT_RESET = 3600000;
ULONGLONG clock_ms = CLOCK_AT_RESET;

// Any non-null value serves: the plug-in passes it on and never looks inside.
HINSTANCE const host_module = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x140000000));
HINSTANCE const plugin_module = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x180000000));

constexpr DWORD SIM_PROCESS_ID = 0x4D2;

}  // namespace

const char* sim_call_name(SimCall call) {
  return call >= 0 && call < SIM_CALL_COUNT ? SIM_CALL_NAMES[call] : "?";
}

bool sim_call_from_name(const char* name, SimCall* call) {
  for (int i = 0; i < SIM_CALL_COUNT; ++i) {
    if (std::strcmp(SIM_CALL_NAMES[i], name) == 0) {
      *call = static_cast<SimCall>(i);
      return true;
    }
  }
  return false;
}

bool sim_enter(SimCall call) {
  ++call_counts[call];
  if (journal_length < SIM_JOURNAL_CAPACITY) {
    journal[journal_length] = call;
  }
  ++journal_length;
  if (fail_countdown[call] > 0 && --fail_countdown[call] == 0) {
    last_error = fail_error[call];
    return true;
  }
  if (call_can_fail[call] && any_fail_countdown > 0 && --any_fail_countdown == 0) {
    any_failed_call = call;
    last_error = any_fail_error;
    return true;
  }
  return false;
}

void sim_fail_nth_call(int nth, DWORD error) {
  any_fail_countdown = nth;
  any_fail_error = error;
  any_failed_call = SIM_CALL_COUNT;
}

SimCall sim_failed_call() {
  return any_failed_call;
}

void sim_clear_calls() {
  std::memset(call_counts, 0, sizeof call_counts);
  journal_length = 0;
}

int sim_call_count(SimCall call) {
  return call_counts[call];
}

int sim_journal_length() {
  return journal_length < SIM_JOURNAL_CAPACITY ? journal_length : SIM_JOURNAL_CAPACITY;
}

SimCall sim_journal_entry(int index) {
  return journal[index];
}

void sim_fail_call(SimCall call, DWORD error, int nth) {
  fail_countdown[call] = nth;
  fail_error[call] = error;
}

void sim_reset() {
  sim_windows_reset();
  sim_queue_reset();
  sim_machine_reset();
  sim_clear_calls();
  std::memset(fail_countdown, 0, sizeof fail_countdown);
  sim_fail_nth_call(0, ERROR_SUCCESS);
  last_error = ERROR_SUCCESS;
  clock_ms = CLOCK_AT_RESET;
}

ULONGLONG sim_clock() {
  return clock_ms;
}

void sim_advance_clock(unsigned milliseconds) {
  clock_ms += milliseconds;
  sim_queue_drop_expired();
}

HINSTANCE sim_host_module() {
  return host_module;
}

HINSTANCE sim_plugin_module() {
  return plugin_module;
}

// Only the lookup by address is known: every address asked about lies in the plug-in.
BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR module_name, HMODULE* module) {
  if (sim_enter(SIM_GET_MODULE_HANDLE_EX_W)) {
    *module = nullptr;
    return FALSE;
  }
  if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0 || module_name == nullptr) {
    *module = nullptr;
    last_error = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  *module = plugin_module;
  return TRUE;
}

DWORD WINAPI GetCurrentProcessId() {
  return SIM_PROCESS_ID;
}

ULONGLONG WINAPI GetTickCount64() {
  sim_enter(SIM_GET_TICK_COUNT_64);
  return clock_ms;
}

DWORD WINAPI GetLastError() {
  sim_enter(SIM_GET_LAST_ERROR);
  return last_error;
}

void WINAPI SetLastError(DWORD error) {
  last_error = error;
}
