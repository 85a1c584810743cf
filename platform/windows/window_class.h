// The notification window's class name. The plug-in registers the class under it; the host
// simulator, the tests and the benchmarks find the plug-in's window by it, in either world.
#pragma once

constexpr wchar_t WINDOW_CLASS_NAME[] = L"KestruneWindow";
