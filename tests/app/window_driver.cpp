#include "window_driver.h"

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void WindowTestCase::init() {
    w = std::make_unique<WindowDriver>();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(dir->isValid(), qPrintable("no scratch folder: " + dir->errorString()));
    QVERIFY2(w->show(), "the window must become active before it is typed into");
}

// The window goes first: nothing of it may still hold a file in the folder.
void WindowTestCase::cleanup() {
    w.reset();
    dir.reset();
}
