#pragma once

#include "platform.h"

#include "number_text.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <filesystem>

// Small pieces the file commands share.

// A path from a dialogue as the file system takes it: wide on Windows, in the
// file-name encoding elsewhere.
inline std::filesystem::path toPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

inline QString thousands(std::uint64_t n) {
    return QString::fromStdString(trigfile::withThousands(n));
}

// A box with an OK button only.
inline MessageRequest okBox(const QString& text, const QString& title,
                            MessageIcon icon = MessageIcon::None) {
    return MessageRequest{text, title, MessageButtons::Ok, icon, MessageAnswer::Ok};
}
