// Plays a scenario against the world: ticks the host's registered timer, loads and unloads the
// plug-in, and sends device notifications to its window, writing each step into the transcript.
#pragma once

#include <vector>

#include "sim/scenario.h"

// The world must be open. Leaves it open; the caller closes it.
void play_scenario(const std::vector<ScenarioStep>& steps);
