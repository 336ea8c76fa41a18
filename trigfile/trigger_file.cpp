#include "trigfile/trigger_file.h"

#include "base/ascii.h"
#include "safefile/atomic_file.h"

namespace trigfile {

base::Outcome<base::Done> writeTriggerFile(const std::filesystem::path& target,
                                           const TriggerSeries& series, WriteProgress* progress,
                                           const SinkWrapper& wrap) {
    return safefile::failuresAsProblem("write the file", [&]() -> base::Outcome<base::Done> {
        safefile::AtomicFile file(target, series.fileSize());
        std::unique_ptr<ByteSink> wrapped = wrap ? wrap(file) : nullptr;
        ByteSink& sink = wrapped ? *wrapped : file;
        const bool written = writeSeries(sink, series, progress) &&
                             file.commit(progress ? &progress->cancelRequested : nullptr);
        if (!written) {
            return base::Problem::cancelled();
        }
        return base::Done{};
    });
}

std::string withTrgExtension(const std::string& name) {
    if (name.size() >= 4 && base::sameIgnoringCase(name.substr(name.size() - 4), ".trg")) {
        return name;
    }
    return name + ".trg";
}

} // namespace trigfile
