#pragma once

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

// The window keeps the folder used last in the user's settings store: a
// test process keeps its settings in a scratch folder of its own instead,
// never the user's, and each window starts from none unless it is to find
// what an earlier one kept.
struct ScratchSettings {
    explicit ScratchSettings(bool fresh) {
        static QTemporaryDir store;
        QCoreApplication::setOrganizationName(QStringLiteral("Tallyforge tests"));
        QSettings::setDefaultFormat(QSettings::IniFormat);
        // Qt's own file dialogue keeps its history in the native store.
        for (const auto format : {QSettings::IniFormat, QSettings::NativeFormat}) {
            QSettings::setPath(format, QSettings::UserScope, store.path());
        }
        if (fresh) {
            QSettings().clear();
        }
    }
};
