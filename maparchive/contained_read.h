#pragma once

#include "map_archive.h"

#include <functional>
#include <string>

namespace maparchive {

// Runs read in a child process where the system can contain it: StormLib
// has crashed, overrun its buffers and asked for gigabytes on archives made
// to trip it, and a map is untrusted input. The child gets a limit on its
// memory and processor time; whatever it does, the caller gets the child's
// result or a refusal naming what went wrong, never a crash of its own.
// Where there is no fork (Windows), read runs in this process.
ScenarioRead runContained(const std::function<ScenarioRead()>& read, const std::string& mapName);

} // namespace maparchive
