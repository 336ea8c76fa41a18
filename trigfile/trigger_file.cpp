#include "trigfile/trigger_file.h"

#include "base/ascii.h"
#include "trigfile/atomic_file.h"

#include <exception>
#include <new>

namespace trigfile {

WriteOutcome writeTriggerFile(const std::filesystem::path& target, const TriggerSeries& series,
                              WriteProgress* progress, const SinkWrapper& wrap) {
    try {
        AtomicFile file(target, series.fileSize());
        std::unique_ptr<ByteSink> wrapped = wrap ? wrap(file) : nullptr;
        ByteSink& sink = wrapped ? *wrapped : file;
        const bool written = writeSeries(sink, series, progress) &&
                             file.commit(progress ? &progress->cancelRequested : nullptr);
        if (!written) {
            return {WriteOutcome::Status::Cancelled, {}};
        }
        return {WriteOutcome::Status::Written, {}};
    } catch (const WriteError& e) {
        return {WriteOutcome::Status::Failed, e.what()};
    } catch (const std::bad_alloc&) {
        return {WriteOutcome::Status::Failed, "There was not enough memory to write the file."};
    } catch (const std::exception& e) {
        return {WriteOutcome::Status::Failed, std::string("Could not write the file: ") + e.what()};
    }
}

std::string withTrgExtension(const std::string& name) {
    if (name.size() >= 4 && base::sameIgnoringCase(name.substr(name.size() - 4), ".trg")) {
        return name;
    }
    return name + ".trg";
}

} // namespace trigfile
