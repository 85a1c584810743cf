// Every simulated call, named once, in a header that needs nothing else: the scenario reader knows
// them by name in either world. Each has its identifier, its Win32 name, and whether it has a
// failure result for an injected failure to return; in the others, one only sets the last error.
#pragma once

#define SIM_CALLS(X)                                                          \
  X(SIM_GET_MODULE_HANDLE_EX_W, GetModuleHandleExW, true)                     \
  X(SIM_GET_LAST_ERROR, GetLastError, false)                                  \
  X(SIM_GET_TICK_COUNT_64, GetTickCount64, false)                             \
  X(SIM_REGISTER_CLASS_W, RegisterClassW, true)                               \
  X(SIM_UNREGISTER_CLASS_W, UnregisterClassW, true)                           \
  X(SIM_CREATE_WINDOW_EX_W, CreateWindowExW, true)                            \
  X(SIM_DESTROY_WINDOW, DestroyWindow, true)                                  \
  X(SIM_DEF_WINDOW_PROC_W, DefWindowProcW, false)                             \
  X(SIM_PEEK_MESSAGE_A, PeekMessageA, true)                                   \
  X(SIM_TRANSLATE_MESSAGE, TranslateMessage, false)                           \
  X(SIM_DISPATCH_MESSAGE_A, DispatchMessageA, false)                          \
  X(SIM_SEND_MESSAGE_W, SendMessageW, false)                                  \
  X(SIM_POST_MESSAGE_W, PostMessageW, true)                                   \
  X(SIM_POST_QUIT_MESSAGE, PostQuitMessage, false)                            \
  X(SIM_REGISTER_DEVICE_NOTIFICATION_A, RegisterDeviceNotificationA, true)    \
  X(SIM_UNREGISTER_DEVICE_NOTIFICATION, UnregisterDeviceNotification, true)   \
  X(SIM_REGISTER_SUSPEND_RESUME, RegisterSuspendResumeNotification, true)     \
  X(SIM_UNREGISTER_SUSPEND_RESUME, UnregisterSuspendResumeNotification, true) \
  X(SIM_MIDI_IN_GET_NUM_DEVS, midiInGetNumDevs, false)                        \
  X(SIM_MIDI_OUT_GET_NUM_DEVS, midiOutGetNumDevs, false)

// Their Win32 names, in the order of the identifiers.
inline constexpr const char* SIM_CALL_NAMES[] = {
#define SIM_CALL_NAME(identifier, name, can_fail) #name,
    SIM_CALLS(SIM_CALL_NAME)
#undef SIM_CALL_NAME
};
