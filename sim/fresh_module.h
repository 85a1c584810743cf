// The plug-in as a module just loaded into a fresh process, on a fresh simulated machine, with an
// empty host: where every native test, the model and the fuzzer begin. Native builds only, where
// the plug-in's state is reachable from outside.
#pragma once

void start_fresh_module(bool diagnostic);
