#pragma once

#include <string>
#include <utility>
#include <variant>

namespace base {

// Why something was not done, in words the user can act on. Every layer
// reports this way; each front end turns it into what its user sees (a
// message box, an exit status and a line) in one place.
struct Problem {
    enum class Kind {
        // Not done because of what was asked or what the file holds: settings
        // out of range, a file that cannot be read safely, a protected map.
        // Nothing was touched.
        Refused,
        // Tried, and the system, the disk or StormLib said no. Any file that
        // was there is as it was.
        Failed,
        // The user stopped it. Any file that was there is as it was.
        Cancelled,
    };
    Kind kind = Kind::Failed;
    std::string reason; // for the user; may be empty when cancelled

    static Problem refused(std::string why) { return {Kind::Refused, std::move(why)}; }
    static Problem failed(std::string why) { return {Kind::Failed, std::move(why)}; }
    static Problem cancelled(std::string why = {}) { return {Kind::Cancelled, std::move(why)}; }
};

// What an operation gives back: its value, or the problem that stopped it.
template <typename T> class Outcome {
  public:
    Outcome(T value) : state_(std::move(value)) {}
    Outcome(Problem problem) : state_(std::move(problem)) {}

    bool ok() const { return state_.index() == 0; }
    // Whether it stopped with a problem of this kind.
    bool is(Problem::Kind kind) const { return !ok() && problem().kind == kind; }

    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }

    const Problem& problem() const { return std::get<1>(state_); }
    Problem& problem() { return std::get<1>(state_); }
    // The problem's reason; empty when there is none.
    const std::string& reason() const {
        static const std::string none;
        return ok() ? none : problem().reason;
    }

  private:
    std::variant<T, Problem> state_;
};

// The value of an operation that gives back nothing but that it was done.
struct Done {};

} // namespace base
