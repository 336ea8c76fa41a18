#pragma once

#include "trigfile/trigger_file_reader.h"

#include <filesystem>

namespace maparchive {

// The trigger records of a trigger file (.trg), scenario data (.chk) or a map
// (.scm, .scx), by the name's extension in any case; any other name is
// refused. Every refusal names the file and says why.
trigfile::TriggerFileRead readTriggersOf(const std::filesystem::path& path);

} // namespace maparchive
