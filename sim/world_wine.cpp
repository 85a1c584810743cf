// The Windows world: the real kestrune.dll, loaded as the host loads it, on the real user32. The
// MIDI counts come from the winmm test double beside velmar-sim.exe, which Windows loads from the
// program's folder before its own, and Wine too with WINEDLLOVERRIDES=winmm=n. Notices are sent
// as the system sends them, from a thread other than the host's, blocked until the host's thread
// retrieves messages; each send returns once its message waits in that queue, so that the next
// tick's drain meets it, in order, however many steps come between two ticks.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/notice_sender.h"
#include "sim/plugin_module.h"
#include "sim/plugin_windows.h"
#include "sim/world.h"

namespace {

// A notice on its way, and whether a tick that should have delivered it has been reported.
struct PendingNotice {
  DeviceChangeSender sender;
  bool stalled;
};

PluginModule plugin;
std::vector<PendingNotice*> pending;

// The plug-in's file as the host would name it: the path given, or kestrune.dll beside
// velmar-sim.exe, where the build puts it.
std::wstring module_path(const char* plugin_path) {
  if (plugin_path == nullptr) {
    return path_beside_program(PLAIN_DLL);
  }
  int length = MultiByteToWideChar(CP_UTF8, 0, plugin_path, -1, nullptr, 0);
  std::wstring path(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, plugin_path, -1, &path[0], length);
  path.resize(path.size() - 1);
  return path;
}

// As a host's message loop would, delivers what is sent until every sender is done. One that
// never finishes is left alive: its header may still be read.
void finish_all_senders() {
  while (!pending.empty()) {
    if (join_sender(&pending.back()->sender)) {
      delete pending.back();
    } else {
      std::fprintf(stderr, "velmar-sim: a device notification's sender never finished\n");
    }
    pending.pop_back();
  }
}

}  // namespace

bool world_open(const char* plugin_path, char* error, size_t error_size) {
  std::string reason;
  // The plug-in's import brings winmm.dll in; it must be the double, which has the controls.
  if (!plugin_module_load(module_path(plugin_path).c_str(), &plugin, &reason) ||
      !winmm_double_ready(&reason)) {
    std::snprintf(error, error_size, "cannot use %s: %s",
                  plugin_path != nullptr ? plugin_path : "kestrune.dll", reason.c_str());
    world_close();
    return false;
  }
  return true;
}

bool world_load_fresh(const wchar_t* file, std::string* error) {
  host_reset();
  if (!winmm_double_ready(error)) {
    return false;
  }
  winmm_double_set_midi_counts(0, 0);
  if (GetModuleHandleW(PLAIN_DLL) != nullptr) {
    *error = "kestrune.dll is already loaded";
    return false;
  }
  if (!plugin_module_load(path_beside_program(file).c_str(), &plugin, error)) {
    return false;
  }
  if (host_call_entry(plugin.VelmarPluginEntry, true) != 1) {
    *error = "the copy refused the load";
    return false;
  }
  return true;
}

PluginEntryFn world_entry() {
  return plugin.VelmarPluginEntry;
}

HMODULE world_module() {
  return plugin.handle;
}

// The module is freed only when the plug-in has let go of its window: a window left behind would
// keep a procedure pointing into freed code. The host forgets the tick of a module it freed.
void world_close() {
  finish_all_senders();
  if (plugin_window() == nullptr) {
    plugin_module_free(&plugin);
    host_forget_tick();
  }
  plugin = PluginModule{};
}

void world_set_midi_counts(unsigned inputs, unsigned outputs) {
  winmm_double_set_midi_counts(inputs, outputs);
}

long world_midi_reads(bool inputs) {
  return inputs ? winmm_double_midi_in_calls() : winmm_double_midi_out_calls();
}

namespace {

// A sender of its own for the message, kept until a tick has delivered it, returned once the
// message waits in the host thread's queue; null with no window, or when the send was refused.
PendingNotice* send(UINT message, uintptr_t event, const void* header, size_t size,
                    DWORD timeout_ms) {
  HWND window = plugin_window();
  if (window == nullptr) {
    return nullptr;
  }
  // The sender's own copy, as a notice from another process arrives as a copy: the scenario's
  // buffer is gone by the time the message is delivered.
  PendingNotice* notice =
      new PendingNotice{{nullptr, window, event, {}, timeout_ms, message, false}, false};
  if (header != nullptr) {
    const unsigned char* bytes = static_cast<const unsigned char*>(header);
    notice->sender.header.assign(bytes, bytes + size);
  }
  bool queued = send_from_another_thread(&notice->sender);
  if (notice->sender.thread == nullptr) {
    delete notice;
    return nullptr;
  }
  pending.push_back(notice);
  if (!queued && !sender_finished(notice->sender, 0)) {
    std::fprintf(stderr, "velmar-sim: a message never reached the host thread\n");
  }
  return queued ? notice : nullptr;
}

}  // namespace

bool world_send_device_change(uintptr_t event, const void* header, size_t size) {
  return send(WM_DEVICECHANGE, event, header, size, 0) != nullptr;
}

// The system's own way with a device notice: a send that gives up after 2 s, and at once on a
// thread that has retrieved nothing for 5 s. The host's thread sleeps through it, so a stall of
// 2 s or more always outlasts the send, and a shorter one leaves it for the next tick's drain.
StallOutcome world_stall(unsigned milliseconds, uintptr_t event, const void* header, size_t size) {
  constexpr DWORD SYSTEM_SEND_TIMEOUT_MS = 2000;
  PendingNotice* notice =
      event != 0 ? send(WM_DEVICECHANGE, event, header, size, SYSTEM_SEND_TIMEOUT_MS) : nullptr;
  if (event != 0 && notice == nullptr) {
    return STALL_NO_WINDOW;
  }
  Sleep(milliseconds);
  if (notice == nullptr ||
      !sender_finished(notice->sender,
                       milliseconds >= SYSTEM_SEND_TIMEOUT_MS ? SENDER_TIMEOUT_MS : 0)) {
    return STALL_NOTICE_KEPT;
  }
  return notice->sender.delivered ? STALL_NOTICE_KEPT : STALL_NOTICE_LOST;
}

// Wine 8 sends no power events, and its registration for them is a stub: the system's part is
// played here, straight to the window.
bool world_send_power_event(uintptr_t event) {
  return send(WM_POWERBROADCAST, event, nullptr, 0, 0) != nullptr;
}

namespace {

HWND storm_window;
const std::vector<WorldNotice>* storm_notices;

DWORD WINAPI send_storm(void*) {
  for (const WorldNotice& notice : *storm_notices) {
    LPARAM header = notice.header.empty() ? 0 : reinterpret_cast<LPARAM>(notice.header.data());
    SendMessageW(storm_window, WM_DEVICECHANGE, notice.event, header);
  }
  return 0;
}

}  // namespace

bool world_send_storm(const std::vector<WorldNotice>& storm) {
  storm_window = plugin_window();
  storm_notices = &storm;
  HANDLE sender =
      storm_window != nullptr ? CreateThread(nullptr, 0, send_storm, nullptr, 0, nullptr) : nullptr;
  bool delivered =
      sender != nullptr && deliver_until_ended(sender, SENDER_TIMEOUT_MS, deliver_sent_messages);
  if (delivered) {
    CloseHandle(sender);
  }
  return delivered;
}

void world_pump_messages() {
  deliver_sent_messages();
  finish_all_senders();
}

// The tick's drain delivered every message waiting for the window, or an unload dropped them with
// it, releasing their senders: each is about to return. One that does not is reported once and
// left to the next retrieval, not pumped for here, outside a tick; later ticks do not wait for it.
void world_after_tick() {
  ULONGLONG deadline = GetTickCount64() + SENDER_TIMEOUT_MS;
  for (size_t i = pending.size(); i-- > 0;) {
    PendingNotice* notice = pending[i];
    ULONGLONG now = GetTickCount64();
    DWORD timeout = notice->stalled || now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    if (sender_finished(notice->sender, timeout)) {
      join_sender(&notice->sender);
      delete notice;
      pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
    } else if (!notice->stalled) {
      notice->stalled = true;
      std::fprintf(stderr, "velmar-sim: a device notification was not delivered by the tick\n");
    }
  }
}

// The real system delivers none of these as the simulated one does: see world.h.
bool world_plays_native_steps() {
  return false;
}

bool world_send_device_change_now(uintptr_t, const void*, size_t, bool, intptr_t*) {
  return false;
}

bool world_send_message(uint32_t, uintptr_t, intptr_t, bool) {
  return false;
}

void world_fail_call(const char*, int, uint32_t) {}
