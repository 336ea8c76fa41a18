#pragma once

#include "base/outcome.h"

#include <exception>
#include <new>
#include <stdexcept>
#include <string>

namespace safefile {

// Why a file could not be written, in words for the user (including the
// system's own error text where there is one). Thrown where bytes go to a
// file (a sink, a safe file, a map edit) because a failure part way through
// must stop the writer that feeds them; turned into the Problem it carries
// by failuresAsProblem where the core's operations return, so that it never
// reaches a front end. Most are failures; a map edit refuses a map it must
// not touch.
class WriteError : public std::runtime_error {
  public:
    explicit WriteError(const std::string& reason,
                        base::Problem::Kind kind = base::Problem::Kind::Failed)
        : std::runtime_error(reason), kind_(kind) {}
    base::Problem problem() const { return {kind_, what()}; }

  private:
    base::Problem::Kind kind_;
};

// Runs work, which returns a base::Outcome, and gives back what it throws as
// its problem: a WriteError's own, or a failure worded for what was being
// done ("write the file": "There was not enough memory to write the file.").
template <typename Work>
auto failuresAsProblem(const std::string& doing, Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const WriteError& e) {
        return e.problem();
    } catch (const std::bad_alloc&) {
        return base::Problem::failed("There was not enough memory to " + doing + ".");
    } catch (const std::exception& e) {
        return base::Problem::failed("Could not " + doing + ": " + e.what());
    }
}

} // namespace safefile
