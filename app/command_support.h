#pragma once

#include "app/platform.h"

#include "base/number_text.h"
#include "base/outcome.h"

#include <QString>

#include <cstdint>

// Small pieces the file commands share.

inline QString thousands(std::uint64_t n) {
    return QString::fromStdString(base::withThousands(n));
}

// A box with an OK button only.
inline MessageRequest okBox(const QString& text, const QString& title,
                            MessageIcon icon = MessageIcon::None) {
    return MessageRequest{text, title, MessageButtons::Ok, icon, MessageAnswer::Ok};
}

// How a command words the problems it meets: the titles of its boxes, and
// what it adds after the reason about the file it was given (nothing where
// it was given none).
struct ProblemBoxes {
    const char* refusedTitle;
    const char* failedTitle;
    const char* afterwards;
};

// The window's one way of telling a problem: a refusal in a warning box, a
// failure in a critical one, and nothing for a cancel, which the user asked
// for.
inline void showProblem(Platform& platform, const base::Problem& problem,
                        const ProblemBoxes& boxes) {
    if (problem.kind == base::Problem::Kind::Cancelled) {
        return;
    }
    const bool refused = problem.kind == base::Problem::Kind::Refused;
    QString text = QString::fromStdString(problem.reason);
    if (*boxes.afterwards != '\0') {
        text += QStringLiteral("\r\n\r\n") + QString::fromLatin1(boxes.afterwards);
    }
    platform.showMessage(
        okBox(text, QString::fromLatin1(refused ? boxes.refusedTitle : boxes.failedTitle),
              refused ? MessageIcon::Warning : MessageIcon::Critical));
}
