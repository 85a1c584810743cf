// The plug-in just loaded into a fresh process, on a fresh simulated machine, with an empty host:
// where the native tests, the model and the fuzzer begin. Native only: it sets the plug-in's state.
#pragma once

void start_fresh_module(bool diagnostic);
