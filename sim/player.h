// Plays a scenario against the world: ticks the host's registered timer, loads and unloads the
// plug-in, and sends device notifications to its window, writing each step into the transcript.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/scenario.h"

// The world must be open. Leaves it open; the caller closes it.
void play_scenario(const std::vector<ScenarioStep>& steps);

// The same a step at a time, for a test that looks at the plug-in between steps. Each step
// returns what the plug-in answered it: the entry point's result for a load or an unload, the
// window procedure's for a notice sent "now", 0 otherwise.
void begin_playing();
int64_t play_step(const ScenarioStep& step);
