#pragma once

#include <string>

#include "common/EventLoop.h"

namespace velkora {

// Starts a program and returns when it has ended, handling events meanwhile in a nested loop
// that sleeps until the program's exit (no polling): the tray, the timers and a running check
// go on while it runs. False, at once, when the program could not be started.
bool runProgramAndWait(EventLoop& loop, const std::string& path);

}  // namespace velkora
