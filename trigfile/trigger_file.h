#pragma once

#include "base/outcome.h"
#include "safefile/byte_sink.h"
#include "trigfile/series_writer.h"
#include "trigfile/trigger_series.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace trigfile {

// Lets tests put a faulty stand-in between the writer and the file. Kept in
// the interface because a full, slow or vanishing disk in the middle of a
// write cannot be staged portably any other way (Windows has no syscall hook).
using SinkWrapper = std::function<std::unique_ptr<ByteSink>(ByteSink& file)>;

// Writes the whole series to target. The file appears only when complete;
// on failure or cancel an existing file of that name is left exactly as it
// was and no temporary file remains. Every problem is a failure or a cancel.
base::Outcome<base::Done> writeTriggerFile(const std::filesystem::path& target,
                                           const TriggerSeries& series,
                                           WriteProgress* progress = nullptr,
                                           const SinkWrapper& wrap = {});

// The name the file gets: ".trg" is added unless the name already ends with
// it, in any case ("Map1" -> "Map1.trg", "MAP1.TRG" stays, "a.trg.txt" ->
// "a.trg.txt.trg").
std::string withTrgExtension(const std::string& name);

} // namespace trigfile
