// libFuzzer target: turns its input into a session of ticks, device-change messages with headers
// of any content and size, count changes, device plugs, and loads and unloads with records of any
// kind, and checks the monitor's invariants after every step. A header is a heap block of exactly
// its own dbch_size, so that any read past it is caught; one the plug-in must not read at all
// points into poisoned memory.
//
// Input layout: byte 0 chooses the diagnostic switch; then each step is one opcode byte followed
// by its operands. Bytes past the end read as 0.
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/plugin_entry.h"
#include "monitor/interface_class.h"
#include "monitor/monitor_state.h"
#include "platform/simulated/sim_control.h"
#include "sim/device_events.h"
#include "sim/fresh_module.h"
#include "sim/host_double.h"

namespace {

// ---- Input ----------------------------------------------------------------------------------

const uint8_t* input_data;
size_t input_size;
size_t input_at;

uint8_t take_byte() {
  return input_at < input_size ? input_data[input_at++] : 0;
}

uint32_t take_u32() {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value = value << 8 | take_byte();
  }
  return value;
}

uint64_t take_u64() {
  uint64_t high = take_u32();
  return high << 32 | take_u32();
}

// ---- Bookkeeping for the invariants ---------------------------------------------------------

int step_number;
const char* step_name = "start";

// Whether both counts must be UNSET_COUNT now: from the start of monitoring until settling ends,
// and from unload on.
bool counts_unset_expected;
// A change was detected and its reset has neither run nor been dropped yet.
bool reset_owed;
bool loaded;

[[noreturn]] void violated(const char* what) {
  std::fprintf(
      stderr,
      "invariant violated after step %d (%s): %s\n"
      "  last counts %d/%d, init %d, check %d/%d, look %d/%d%s, reset %d/%d, window %p, "
      "loaded %d\n",
      step_number, step_name, what, monitor_state.last_in_count, monitor_state.last_out_count,
      monitor_state.init_ticks_left, monitor_state.check_pending, monitor_state.check_ticks_left,
      monitor_state.look_pending, monitor_state.look_ticks_left,
      monitor_state.last_look ? " (last)" : "", monitor_state.reset_pending,
      monitor_state.reset_ticks_left, static_cast<void*>(monitor_state.notify_window), loaded);
  std::abort();
}

void require(bool holds, const char* what) {
  if (!holds) {
    violated(what);
  }
}

// ---- The host: the host double (sim/host_double.h), checked after every step ---------------

int commands_before_step;

void begin_step() {
  commands_before_step = host_command_count();
}

int commands_in_step() {
  return host_command_count() - commands_before_step;
}

void check_host() {
  require(host_unexpected_command_count() == 0, "host command other than (41175, 0)");
  require(host_malformed_line_count() == 0, "malformed console line");
  require(host_unknown_name_count() == 0,
          "unknown host function requested, or tick registered "
          "under another name");
}

// ---- Headers --------------------------------------------------------------------------------

// Memory no header the plug-in reads may point to.
alignas(16) unsigned char forbidden_header[64];

// The classes the plug-in acts on: the three audio classes and the two MIDI port classes.
const GUID* const LISTENED_CLASSES[] = {&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER, &KSCATEGORY_CAPTURE,
                                        &MIDI_INPUT_PORT_INTERFACE, &MIDI_OUTPUT_PORT_INTERFACE};

// What a plugged device announces: the audio class, a MIDI port class, or another class.
const GUID* const PLUG_CLASSES[] = {&KSCATEGORY_AUDIO, &MIDI_INPUT_PORT_INTERFACE,
                                    &MIDI_OUTPUT_PORT_INTERFACE, &USB_DEVICE_INTERFACE};

struct Message {
  WPARAM code;
  unsigned char* header;  // heap, or forbidden_header, or null
  size_t size;
};

// The header's shape comes from the input; its bytes too, except what the shape fixes.
Message take_device_change(bool settling) {
  Message message{};
  uint8_t kind = take_byte();
  message.code = kind % 8 < 4   ? DBT_DEVICEARRIVAL
                 : kind % 8 < 7 ? DBT_DEVICEREMOVECOMPLETE
                                : static_cast<WPARAM>(take_u64());
  uint8_t shape = take_byte() % 8;
  bool must_not_read =
      settling || (message.code != DBT_DEVICEARRIVAL && message.code != DBT_DEVICEREMOVECOMPLETE);
  if (shape == 0) {
    return message;  // no header
  }
  if (shape == 1) {
    if (must_not_read) {
      message.header = forbidden_header;
    }
    return message;
  }
  message.size = 4 + take_byte() % 61;
  message.header = static_cast<unsigned char*>(std::malloc(message.size));
  for (size_t i = 0; i < message.size; ++i) {
    message.header[i] = take_byte();
  }
  uint32_t size = static_cast<uint32_t>(message.size);
  std::memcpy(message.header, &size, sizeof size);
  // Shapes 3 and up claim the device-interface type, whether or not the size has room for its
  // class; 5 and up also carry a class the plug-in acts on where there is room for one.
  if (shape >= 3 && message.size >= NOTICE_TYPE_OFFSET + 4) {
    uint32_t type = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(message.header + NOTICE_TYPE_OFFSET, &type, sizeof type);
  }
  if (shape >= 5) {
    unsigned char listened[sizeof(GUID)];
    std::memcpy(listened, LISTENED_CLASSES[(shape + message.header[message.size - 1]) % 5],
                sizeof listened);
    for (size_t i = NOTICE_CLASS_OFFSET; i < NOTICE_NAME_OFFSET && i < message.size; ++i) {
      message.header[i] = listened[i - NOTICE_CLASS_OFFSET];
    }
  }
  return message;
}

void release(Message* message) {
  if (message->header != nullptr && message->header != forbidden_header) {
    std::free(message->header);
  }
}

HWND plugin_window() {
  return FindWindowExW(HWND_MESSAGE, nullptr, L"KestruneWindow", nullptr);
}

// ---- Invariants -----------------------------------------------------------------------------

bool counts_unset() {
  return monitor_state.last_in_count == UNSET_COUNT || monitor_state.last_out_count == UNSET_COUNT;
}

bool same_monitor(const MonitorState& a, const MonitorState& b) {
  return a.last_in_count == b.last_in_count && a.last_out_count == b.last_out_count &&
         a.init_ticks_left == b.init_ticks_left && a.check_pending == b.check_pending &&
         a.check_ticks_left == b.check_ticks_left && a.reset_pending == b.reset_pending &&
         a.reset_ticks_left == b.reset_ticks_left && a.port_removed == b.port_removed &&
         a.look_pending == b.look_pending && a.look_ticks_left == b.look_ticks_left &&
         a.last_look == b.last_look && a.notify_window == b.notify_window &&
         a.notify_handle == b.notify_handle &&
         a.input_port_notify_handle == b.input_port_notify_handle &&
         a.output_port_notify_handle == b.output_port_notify_handle;
}

// `lifecycle` for loads and unloads, which may clear what settling otherwise leaves alone.
void check_invariants(const MonitorState& before, bool lifecycle) {
  const MonitorState& now = monitor_state;
  require(now.check_pending || now.check_ticks_left == 0, "verification countdown without flag");
  require(now.reset_pending || now.reset_ticks_left == 0, "reset countdown without flag");
  require(!now.check_pending || (now.check_ticks_left >= 1 && now.check_ticks_left <= 5),
          "verification countdown out of range");
  require(!now.reset_pending || (now.reset_ticks_left >= 1 && now.reset_ticks_left <= 20),
          "reset countdown out of range");
  require(now.init_ticks_left >= 0 && now.init_ticks_left <= 90, "settle countdown out of range");
  require(now.look_pending || (now.look_ticks_left == 0 && !now.last_look),
          "look countdown without flag");
  require(!now.look_pending ||
              (now.look_ticks_left >= 1 && now.look_ticks_left <= (now.last_look ? 62 : 13)),
          "look countdown out of range");
  // The looks follow a verification, and a notice that schedules the next one ends them.
  require(!(now.look_pending && now.check_pending), "a look waiting beside a verification");
  require(!now.look_pending || now.init_ticks_left == 0, "a look waiting while settling");

  if (before.init_ticks_left > 0 && !lifecycle) {
    require(now.check_pending == before.check_pending &&
                now.check_ticks_left == before.check_ticks_left &&
                now.reset_pending == before.reset_pending &&
                now.reset_ticks_left == before.reset_ticks_left &&
                now.look_pending == before.look_pending,
            "verification, look or reset moved while settling");
  }

  require((now.last_in_count == UNSET_COUNT) == (now.last_out_count == UNSET_COUNT),
          "one count unset without the other");
  require(counts_unset() == counts_unset_expected, counts_unset_expected
                                                       ? "counts read when they should be unset"
                                                       : "counts unset when they should be known");

  bool detected =
      before.last_in_count != UNSET_COUNT && !counts_unset() &&
      (now.last_in_count != before.last_in_count || now.last_out_count != before.last_out_count);
  if (detected) {
    require(now.reset_pending, "change detected without a reset scheduled");
    reset_owed = true;
  }
  check_host();
  require(commands_in_step() <= 1, "more than one host command in one step");
  if (commands_in_step() == 1) {
    require(reset_owed, "host command without a detected change");
    require(before.reset_pending && before.reset_ticks_left == 1 && !before.check_pending &&
                before.init_ticks_left == 0,
            "host command before its reset countdown ran out");
    reset_owed = false;
  }
  if (!now.reset_pending) {
    reset_owed = false;
  }

  bool window = now.notify_window != nullptr;
  require(window == loaded && (plugin_window() != nullptr) == loaded,
          "window exists exactly while loaded");
  require((now.notify_handle != nullptr) == loaded, "registration held exactly while loaded");
  require(loaded ||
              (now.input_port_notify_handle == nullptr && now.output_port_notify_handle == nullptr),
          "a port registration held while not loaded");
  require(!now.port_removed || loaded, "a removed port remembered while not loaded");
  if (!loaded) {
    require(sim_window_count() == 0 && sim_class_count() == 0 && sim_registration_count() == 0,
            "a window, class or registration outlived the plug-in");
  }
}

// ---- Steps ----------------------------------------------------------------------------------

void run_tick() {
  if (host_tick_address() == nullptr) {
    return;  // a host calls only the tick it was given
  }
  MonitorState before = monitor_state;
  begin_step();
  host_call_tick();
  // A port removed since the last verification, or in this tick's drain, means a reset whatever
  // the counts say, once there is a baseline to verify against.
  bool verified = before.init_ticks_left == 0 && before.check_pending &&
                  before.check_ticks_left == 1 && before.last_in_count != UNSET_COUNT;
  if (verified) {
    require(!monitor_state.port_removed, "a removed port outlived the verification");
    if (before.port_removed) {
      require(monitor_state.reset_pending && monitor_state.reset_ticks_left == RESET_DELAY_TICKS,
              "verification after a port removal scheduled no reset");
    }
    if (monitor_state.reset_pending && monitor_state.reset_ticks_left == RESET_DELAY_TICKS) {
      reset_owed = true;
    }
  }
  bool settle_ends = before.init_ticks_left == 1;
  bool baseline_adopted = before.init_ticks_left == 0 && before.check_pending &&
                          before.check_ticks_left == 1 && before.last_in_count == UNSET_COUNT;
  if (settle_ends || baseline_adopted) {
    counts_unset_expected = false;
  }
  check_invariants(before, false);
}

void send_now() {
  HWND window = plugin_window();
  Message message = take_device_change(monitor_state.init_ticks_left > 0);
  if (window != nullptr) {
    MonitorState before = monitor_state;
    begin_step();
    LRESULT result = SendMessageW(window, WM_DEVICECHANGE, message.code,
                                  reinterpret_cast<LPARAM>(message.header));
    require(result == 0, "device change answered with other than 0");
    check_invariants(before, false);
  }
  release(&message);
}

// Copied into the window's queue as the system marshals a message, and handled in the next
// drain, when the settle state may differ: such a header must always be readable.
void send_from_outside() {
  HWND window = plugin_window();
  Message message = take_device_change(false);
  if (window != nullptr) {
    sim_send_device_change_from_outside(window, message.code, message.header, message.size);
  }
  release(&message);
}

// Sent messages reach the procedure at once; posted ones wait for the tick's drain, which is then
// more than an empty check. A posted WM_DEVICECHANGE can only carry an event without a header:
// the system refuses to post the ones that point to one.
void send_other_message() {
  HWND window = plugin_window();
  uint32_t selector = take_u32();
  UINT message = selector & 0xFFFF;
  bool post = (selector & 0x10000) != 0;
  WPARAM first = static_cast<WPARAM>(take_u64());
  LPARAM second = static_cast<LPARAM>(take_u64());
  // Creation records are the system's own; the default procedure reads them.
  if (window == nullptr || message == WM_NCCREATE || message == WM_CREATE ||
      (message == WM_DEVICECHANGE && !post)) {
    return;
  }
  MonitorState before = monitor_state;
  begin_step();
  if (post) {
    PostMessageW(window, message, first, second);
  } else {
    SendMessageW(window, message, first, second);
  }
  require(same_monitor(before, monitor_state),
          "a message that is no device event changed the state");
}

void change_counts() {
  uint8_t counts = take_byte();
  sim_set_midi_counts(counts & 0x7, (counts >> 3) & 0x7);
}

void plug_or_unplug() {
  uint8_t how = take_byte();
  SimMidiPort port = (how & 1) != 0 ? SIM_MIDI_INPUT : SIM_MIDI_OUTPUT;
  const GUID& interface_class = *PLUG_CLASSES[(how >> 1) & 3];
  if ((how & 8) != 0) {
    sim_plug_device(port, interface_class);
  } else {
    sim_unplug_device(port, interface_class);
  }
}

void load() {
  uint8_t flags = take_byte();
  uint8_t missing = take_byte();
  uint8_t failure = take_byte();
  int32_t version = flags % 8 == 0 ? static_cast<int32_t>(take_u32()) : HOST_API_VERSION;
  unsigned host_missing = (missing & 0xC0) == 0 ? missing & 0x3F : 0;
  HostPluginInfo info = *host_record(version, host_missing);
  if ((flags & 0x10) != 0 && (flags & 0x20) != 0) {
    info.register_callback = nullptr;
  }
  if ((flags & 0x40) != 0 && (flags & 0x80) != 0) {
    info.get_function = nullptr;
  }
  bool record_read = info.api_version == HOST_API_VERSION && info.register_callback != nullptr &&
                     info.get_function != nullptr;
  bool reaches_start = record_read && host_missing == 0;
  // The host loads a plug-in once and unloads it before loading it again.
  if (loaded && reaches_start) {
    return;
  }
  // The class, the window and the audio registration are required; the two MIDI port
  // registrations that follow are not, and their failure leaves the load standing.
  struct StartCall {
    SimCall call;
    int nth;
    bool required;
  };
  const StartCall start_calls[] = {{SIM_REGISTER_CLASS_W, 1, true},
                                   {SIM_CREATE_WINDOW_EX_W, 1, true},
                                   {SIM_REGISTER_DEVICE_NOTIFICATION_A, 1, true},
                                   {SIM_REGISTER_DEVICE_NOTIFICATION_A, 2, false},
                                   {SIM_REGISTER_DEVICE_NOTIFICATION_A, 3, false}};
  bool inject = failure % 8 < 5;
  const StartCall& failing = start_calls[inject ? failure % 8 : 0];
  if (inject) {
    // An existing class is no failure for the plug-in, but here none exists.
    DWORD error = (failure & 0x80) != 0 ? ERROR_CLASS_ALREADY_EXISTS : ERROR_NOT_ENOUGH_MEMORY;
    sim_fail_call(failing.call, error, failing.nth);
  }
  MonitorState before = monitor_state;
  begin_step();
  int32_t result = VelmarPluginEntry(nullptr, &info);
  if (inject) {
    sim_fail_call(failing.call, ERROR_SUCCESS, 0);
  }
  require(result == ((reaches_start && !(inject && failing.required)) ? 1 : 0),
          "wrong load result");
  if (reaches_start) {
    counts_unset_expected = true;
    loaded = result == 1;
  }
  if (!reaches_start) {
    require(same_monitor(before, monitor_state), "a refused record changed the monitor");
  }
  if (record_read) {
    for (unsigned slot = 0; slot < 6; ++slot) {
      require((monitor_state.host_functions[slot] == nullptr) == ((host_missing >> slot & 1) != 0),
              "a host function slot does not hold its lookup");
    }
  }
  check_invariants(before, true);
}

void unload() {
  MonitorState before = monitor_state;
  begin_step();
  require(VelmarPluginEntry(nullptr, nullptr) == 0, "unload returned other than 0");
  loaded = false;
  counts_unset_expected = true;
  require(monitor_state.init_ticks_left == 0 && !monitor_state.check_pending &&
              !monitor_state.reset_pending && !monitor_state.look_pending,
          "unload left something pending");
  check_invariants(before, true);
}

void start_session() {
  static bool poisoned = false;
  if (!poisoned) {
    __asan_poison_memory_region(forbidden_header, sizeof forbidden_header);
    poisoned = true;
  }
  start_fresh_module(false);
  counts_unset_expected = true;
  reset_owed = false;
  loaded = false;
  step_number = 0;
  step_name = "start";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input_data = data;
  input_size = size;
  input_at = 0;
  start_session();
  monitor_state.verbose_log = (take_byte() & 1) != 0;
  // Bounded so that one input stays quick whatever its length.
  for (int steps = 0; input_at < input_size && steps < 4096; ++steps) {
    ++step_number;
    uint8_t opcode = take_byte();
    switch (opcode % 10) {
      case 0:
      case 1:
        step_name = "tick";
        run_tick();
        break;
      case 2: {
        step_name = "ticks";
        int ticks = 1 + take_byte();
        for (int i = 0; i < ticks; ++i) {
          run_tick();
        }
        break;
      }
      case 3:
        step_name = "send now";
        send_now();
        break;
      case 4:
        step_name = "send from outside";
        send_from_outside();
        break;
      case 5:
        step_name = "counts";
        change_counts();
        break;
      case 6:
        step_name = "plug";
        plug_or_unplug();
        break;
      case 7:
        step_name = "load";
        load();
        break;
      case 8:
        step_name = "unload";
        unload();
        break;
      default:
        step_name = "other message";
        send_other_message();
        break;
    }
  }
  // Leave nothing for the next input: the simulated platform is reset, but the plug-in is told.
  if (loaded) {
    unload();
  }
  return 0;
}
