#pragma once

#include "trigfile/trigger_stream.h"

#include <filesystem>
#include <memory>

namespace maparchive {

// The triggers of a trigger file (.trg), scenario data (.chk) or a map
// (.scm, .scx), by the name's extension in any case, to be walked rather
// than held; any other name is refused. Every refusal names the file and
// says why. Trigger files and scenario data are read a buffer at a time on each walk; a map's
// scenario data is read once, through the contained read, and walked where it lies.
base::Outcome<std::unique_ptr<trigfile::TriggerSource>>
triggerSourceOf(const std::filesystem::path& path);

} // namespace maparchive
