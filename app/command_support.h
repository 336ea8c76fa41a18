#pragma once

#include "app/platform.h"

#include "base/number_text.h"

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
