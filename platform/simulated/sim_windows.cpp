// Window classes and windows: a class is known by name and instance, a window by its handle,
// and creation and destruction send the usual messages to the class's procedure.
#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <iterator>
#include <thread>

#include "platform/simulated/sim_internal.h"

namespace {

constexpr int MAX_CLASSES = 16;
constexpr int MAX_WINDOWS = 64;
constexpr int MAX_NAME = 64;

struct SimClass {
  bool in_use;
  WCHAR name[MAX_NAME];
  HINSTANCE instance;
  WNDPROC procedure;
  ATOM atom;
};

struct SimWindow {
  bool in_use;
  HWND handle;
  int class_index;
  HWND parent;
  WCHAR title[MAX_NAME];
  std::thread::id owner;
  bool other_process;
};

SimClass classes[MAX_CLASSES];
SimWindow windows[MAX_WINDOWS];
uintptr_t next_handle;
ATOM next_atom;
SimDefaultProcCall last_default_call;
bool destroy_found_windows_of_other_processes;

// Class names compare without regard to case, as on Windows.
bool same_name(LPCWSTR a, LPCWSTR b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (std::towlower(static_cast<wint_t>(*a)) != std::towlower(static_cast<wint_t>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

// As much of `source` as fits in `capacity` characters with the terminator; returns its length.
int copy_name(WCHAR* target, LPCWSTR source, int capacity = MAX_NAME) {
  int i = 0;
  for (; source != nullptr && source[i] != 0 && i < capacity - 1; ++i) {
    target[i] = source[i];
  }
  target[i] = 0;
  return i;
}

// As on Windows, a null instance stands for the executable's.
HINSTANCE instance_or_executable(HINSTANCE instance) {
  return instance != nullptr ? instance : sim_host_module();
}

int find_class(LPCWSTR name, HINSTANCE instance) {
  instance = instance_or_executable(instance);
  if (name == nullptr) {
    return -1;
  }
  for (int i = 0; i < MAX_CLASSES; ++i) {
    if (classes[i].in_use && classes[i].instance == instance && same_name(classes[i].name, name)) {
      return i;
    }
  }
  return -1;
}

// A free slot's handle is null, which no window has.
SimWindow* find_window(HWND handle) {
  for (SimWindow& window : windows) {
    if (window.in_use && window.handle == handle) {
      return &window;
    }
  }
  return nullptr;
}

void release_window(HWND handle) {
  if (SimWindow* window = find_window(handle)) {
    sim_queue_forget_window(handle);
    *window = SimWindow{};
  }
}

}  // namespace

void sim_windows_reset() {
  std::fill(std::begin(classes), std::end(classes), SimClass{});
  std::fill(std::begin(windows), std::end(windows), SimWindow{});
  next_handle = 0x10010;
  next_atom = 0xC001;
  destroy_found_windows_of_other_processes = false;
  last_default_call = SimDefaultProcCall{};
}

void sim_give_window_to_another_process(HWND handle) {
  if (SimWindow* window = find_window(handle)) {
    window->other_process = true;
  }
}

void sim_destroy_found_windows_of_other_processes(bool destroy) {
  destroy_found_windows_of_other_processes = destroy;
}

SimDefaultProcCall sim_last_default_proc_call() {
  return last_default_call;
}

int sim_class_count() {
  return static_cast<int>(std::count_if(std::begin(classes), std::end(classes),
                                        [](const SimClass& used) { return used.in_use; }));
}

int sim_window_count() {
  return static_cast<int>(std::count_if(std::begin(windows), std::end(windows),
                                        [](const SimWindow& used) { return used.in_use; }));
}

WNDPROC sim_window_proc(HWND handle) {
  SimWindow* window = find_window(handle);
  return window != nullptr ? classes[window->class_index].procedure : nullptr;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* window_class) {
  if (sim_enter(SIM_REGISTER_CLASS_W)) {
    return 0;
  }
  if (window_class == nullptr || window_class->lpszClassName == nullptr ||
      window_class->lpfnWndProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (find_class(window_class->lpszClassName, window_class->hInstance) >= 0) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  SimClass* slot = std::find_if(std::begin(classes), std::end(classes),
                                [](const SimClass& free) { return !free.in_use; });
  if (slot == std::end(classes)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  *slot = SimClass{true,
                   {},
                   instance_or_executable(window_class->hInstance),
                   window_class->lpfnWndProc,
                   next_atom++};
  copy_name(slot->name, window_class->lpszClassName);
  return slot->atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR class_name, HINSTANCE instance) {
  if (sim_enter(SIM_UNREGISTER_CLASS_W)) {
    return FALSE;
  }
  int index = find_class(class_name, instance);
  if (index < 0) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (std::any_of(std::begin(windows), std::end(windows), [index](const SimWindow& window) {
        return window.in_use && window.class_index == index;
      })) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  classes[index] = SimClass{};
  return TRUE;
}

HWND WINAPI CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  if (sim_enter(SIM_CREATE_WINDOW_EX_W)) {
    return nullptr;
  }
  int class_index = find_class(class_name, instance);
  if (class_index < 0) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  SimWindow* window = std::find_if(std::begin(windows), std::end(windows),
                                   [](const SimWindow& free) { return !free.in_use; });
  if (window == std::end(windows)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HWND handle = reinterpret_cast<HWND>(next_handle);
  next_handle += 2;
  *window = SimWindow{true, handle, class_index, parent, {}, std::this_thread::get_id(), false};

  // As on Windows, the title is set by the default procedure's WM_NCCREATE, read from the
  // creation record: a procedure that forwards to the wrong default gets the wrong title.
  CREATESTRUCTW creation = {
      param,       instance,   menu,    parent, height, width, y, x, static_cast<LONG>(style),
      window_name, class_name, ex_style};
  WNDPROC procedure = classes[class_index].procedure;
  LPARAM creation_param = reinterpret_cast<LPARAM>(&creation);
  if (procedure(handle, WM_NCCREATE, 0, creation_param) == 0 ||
      procedure(handle, WM_CREATE, 0, creation_param) == -1) {
    procedure(handle, WM_NCDESTROY, 0, 0);
    release_window(handle);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return handle;
}

BOOL WINAPI DestroyWindow(HWND handle) {
  if (sim_enter(SIM_DESTROY_WINDOW)) {
    return FALSE;
  }
  SimWindow* window = find_window(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  WNDPROC procedure = classes[window->class_index].procedure;
  procedure(handle, WM_DESTROY, 0, 0);
  procedure(handle, WM_NCDESTROY, 0, 0);
  release_window(handle);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND handle) {
  return find_window(handle) != nullptr ? TRUE : FALSE;
}

HWND WINAPI FindWindowExW(HWND parent, HWND child_after, LPCWSTR class_name, LPCWSTR window_name) {
  bool past_after = child_after == nullptr;
  for (const SimWindow& window : windows) {
    if (!window.in_use) {
      continue;
    }
    if (!past_after) {
      past_after = window.handle == child_after;
      continue;
    }
    // A null parent stands for the desktop, and Windows then searches the message-only windows
    // too; titles, like class names, compare without regard to case.
    if (window.parent != parent && !(parent == nullptr && window.parent == HWND_MESSAGE)) {
      continue;
    }
    if (class_name != nullptr && !same_name(classes[window.class_index].name, class_name)) {
      continue;
    }
    if (window_name != nullptr && !same_name(window.title, window_name)) {
      continue;
    }
    HWND found = window.handle;
    if (destroy_found_windows_of_other_processes && window.other_process) {
      release_window(found);
    }
    return found;
  }
  return nullptr;
}

int WINAPI GetWindowTextW(HWND handle, LPWSTR text, int max_count) {
  SimWindow* window = find_window(handle);
  if (window == nullptr || text == nullptr || max_count <= 0) {
    return 0;
  }
  return copy_name(text, window->title, max_count);
}

// A window given to another process reports the process after the simulation's own.
DWORD WINAPI GetWindowThreadProcessId(HWND handle, DWORD* process_id) {
  SimWindow* window = find_window(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (process_id != nullptr) {
    *process_id = GetCurrentProcessId() + (window->other_process ? 1 : 0);
  }
  return static_cast<DWORD>(std::hash<std::thread::id>()(window->owner)) | 1u;
}

// Wide only: the narrow default procedure, which the real platform has and this one does not,
// would read the UTF-16 title as 8-bit text and leave the window titled "K".
LRESULT WINAPI DefWindowProcW(HWND handle, UINT message, WPARAM first, LPARAM second) {
  sim_enter(SIM_DEF_WINDOW_PROC_W);
  last_default_call = SimDefaultProcCall{handle, message, first, second};
  SimWindow* window = message == WM_NCCREATE ? find_window(handle) : nullptr;
  const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(second);
  if (window != nullptr && creation != nullptr) {
    copy_name(window->title, creation->lpszName);
  }
  return message == WM_NCCREATE ? TRUE : 0;
}

bool sim_window_owner(HWND handle, std::thread::id* owner) {
  SimWindow* window = find_window(handle);
  if (window == nullptr) {
    return false;
  }
  *owner = window->owner;
  return true;
}
