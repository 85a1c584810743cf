// The Windows world: the real kestrune.dll, loaded as the host loads it, on the real user32 (Wine's
// here). The MIDI counts come from the winmm test double, which Wine loads in place of its own
// winmm.dll when velmar-sim.exe runs with WINEDLLOVERRIDES=winmm=n.
//
// Notifications are sent as the system sends them: SendMessageW from a thread other than the
// host's, which blocks until the host's thread retrieves messages. Each send returns only once
// its message waits in that thread's queue, so that the next tick's drain meets it, in order with
// those sent before it, however many steps come between two ticks.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/plugin_windows.h"
#include "sim/world.h"
#include "tests/windows/winmm_double.h"

namespace {

// Generous: a send reaches the queue within milliseconds, and a tick delivers it at once. Only a
// broken world waits this long, and then it says so rather than hang.
constexpr DWORD SEND_TIMEOUT_MS = 10000;

struct Sender {
  HANDLE thread;
  HWND window;
  WPARAM event;
  // The sender's own copy, as a notification from another process arrives as a copy: the
  // scenario's buffer is gone by the time the message is delivered.
  std::vector<unsigned char> header;
  // Still blocked after a tick that should have delivered its message.
  bool stalled;
};

HMODULE plugin_module;
PluginEntryFn plugin_entry;
WinmmDoubleSetCountsFn set_midi_counts;
std::vector<Sender*> senders;

// Other copies of velmar-sim (or test programs) may run at the same time with their own plug-in
// window: only the one in this process is ours.
HWND plugin_window() {
  HWND window = nullptr;
  plugin_windows_of(GetCurrentProcessId(), &window);
  return window;
}

// The plug-in's file as the host would name it: the path given, or kestrune.dll beside
// velmar-sim.exe, where the build puts it.
std::wstring module_path(const char* plugin_path) {
  if (plugin_path != nullptr) {
    int length = MultiByteToWideChar(CP_UTF8, 0, plugin_path, -1, nullptr, 0);
    std::wstring path(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, plugin_path, -1, &path[0], length);
    path.resize(path.size() - 1);
    return path;
  }
  wchar_t program[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring path(program, length);
  size_t separator = path.find_last_of(L"\\/");
  path.resize(separator == std::wstring::npos ? 0 : separator + 1);
  return path + L"kestrune.dll";
}

DWORD WINAPI send_device_change(void* parameter) {
  Sender* sender = static_cast<Sender*>(parameter);
  LPARAM header = sender->header.empty() ? 0 : reinterpret_cast<LPARAM>(sender->header.data());
  SendMessageW(sender->window, WM_DEVICECHANGE, sender->event, header);
  return 0;
}

// GetQueueStatus only looks at the queue; it delivers nothing. Its low word tells what arrived
// since the last call, so a message behind others that are still waiting is seen too.
bool sent_message_arrived() {
  return (LOWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
}

bool wait_until_queued(const Sender& sender) {
  ULONGLONG deadline = GetTickCount64() + SEND_TIMEOUT_MS;
  for (;;) {
    if (sent_message_arrived()) {
      return true;
    }
    // A sender that ends first was refused: its message never reached the queue.
    if (WaitForSingleObject(sender.thread, 1) == WAIT_OBJECT_0) {
      return sent_message_arrived();
    }
    if (GetTickCount64() > deadline) {
      std::fprintf(stderr, "velmar-sim: a device notification never reached the host thread\n");
      return false;
    }
  }
}

void forget_sender(size_t index) {
  CloseHandle(senders[index]->thread);
  delete senders[index];
  senders.erase(senders.begin() + static_cast<std::ptrdiff_t>(index));
}

// Delivers whatever is still sent to this thread until every sender is done, as a host's
// message loop would. The wait asks for input available, not input new since the last look:
// wait_until_queued has already looked at these messages.
void finish_all_senders() {
  while (!senders.empty()) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    HANDLE thread = senders.back()->thread;
    DWORD woken = MsgWaitForMultipleObjectsEx(1, &thread, SEND_TIMEOUT_MS, QS_SENDMESSAGE,
                                              MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) {
      forget_sender(senders.size() - 1);
    } else if (woken != WAIT_OBJECT_0 + 1) {
      // Its header may still be read if the message is ever delivered, so it is left alive.
      std::fprintf(stderr, "velmar-sim: a device notification's sender never finished\n");
      senders.pop_back();
    }
  }
}

}  // namespace

bool world_open(const char* plugin_path, char* error, size_t error_size) {
  const char* shown_path = plugin_path != nullptr ? plugin_path : "kestrune.dll";
  plugin_module = LoadLibraryW(module_path(plugin_path).c_str());
  if (plugin_module == nullptr) {
    std::snprintf(error, error_size, "cannot load %s (error %lu)", shown_path, GetLastError());
    return false;
  }
  plugin_entry = reinterpret_cast<PluginEntryFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin_module, "VelmarPluginEntry")));
  if (plugin_entry == nullptr) {
    std::snprintf(error, error_size, "%s does not export VelmarPluginEntry", shown_path);
    world_close();
    return false;
  }
  // The plug-in's import brought winmm.dll in; only the test double has the controls.
  HMODULE winmm = GetModuleHandleW(L"winmm.dll");
  set_midi_counts = reinterpret_cast<WinmmDoubleSetCountsFn>(
      winmm != nullptr ? reinterpret_cast<void*>(GetProcAddress(winmm, WINMM_DOUBLE_SET_COUNTS))
                       : nullptr);
  if (set_midi_counts == nullptr) {
    std::snprintf(error, error_size,
                  "winmm.dll is the system's, not the test double beside velmar-sim.exe: under "
                  "Wine, run with WINEDLLOVERRIDES=winmm=n");
    world_close();
    return false;
  }
  return true;
}

PluginEntryFn world_entry() {
  return plugin_entry;
}

// The module is freed only when the plug-in has let go of its window: a window left behind would
// keep a procedure pointing into freed code.
void world_close() {
  finish_all_senders();
  if (plugin_module != nullptr && plugin_window() == nullptr) {
    FreeLibrary(plugin_module);
  }
  plugin_module = nullptr;
  plugin_entry = nullptr;
  set_midi_counts = nullptr;
}

void world_set_midi_counts(unsigned inputs, unsigned outputs) {
  set_midi_counts(inputs, outputs);
}

bool world_send_device_change(uintptr_t event, const void* header, size_t size) {
  HWND window = plugin_window();
  if (window == nullptr) {
    return false;
  }
  Sender* sender = new Sender{nullptr, window, event, {}, false};
  if (header != nullptr) {
    const unsigned char* bytes = static_cast<const unsigned char*>(header);
    sender->header.assign(bytes, bytes + size);
  }
  sent_message_arrived();  // forgets arrivals before this one
  sender->thread = CreateThread(nullptr, 0, send_device_change, sender, 0, nullptr);
  if (sender->thread == nullptr) {
    delete sender;
    return false;
  }
  senders.push_back(sender);
  return wait_until_queued(*sender);
}

// A message sent from another thread is delivered by any retrieval on this one; a peek that
// removes nothing leaves the host's posted messages alone.
void world_pump_messages() {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  finish_all_senders();
}

// The tick's drain delivered every message waiting for the window, and an unload before it
// dropped them with the window, which releases their senders too: either way each sender is
// about to return. One that does not would be delivered outside a tick if it were pumped for
// here, so it is reported once and left to the next retrieval; later ticks do not wait for it.
void world_after_tick() {
  ULONGLONG deadline = GetTickCount64() + SEND_TIMEOUT_MS;
  for (size_t i = senders.size(); i-- > 0;) {
    Sender* sender = senders[i];
    ULONGLONG now = GetTickCount64();
    DWORD timeout = sender->stalled || now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    if (WaitForSingleObject(sender->thread, timeout) == WAIT_OBJECT_0) {
      forget_sender(i);
    } else if (!sender->stalled) {
      sender->stalled = true;
      std::fprintf(stderr, "velmar-sim: a device notification was not delivered by the tick\n");
    }
  }
}
