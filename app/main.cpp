#include "app/about_texts.h"
#include "app/frm_tallyforge.h"
#include "app/process_signals.h"
#include "app/qt_platform.h"
#include "app/session_bus.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    processsignals::install();
    sessionbus::preventAutolaunch();
    QApplication app(argc, argv);
    processsignals::watch(app);
    // The settings store's names: ~/.config/Tallyforge/Tallyforge.conf on
    // Linux, HKEY_CURRENT_USER\Software\Tallyforge\Tallyforge on Windows.
    QApplication::setOrganizationName(QStringLiteral("Tallyforge"));
    QApplication::setApplicationName(QStringLiteral("Tallyforge"));
    QApplication::setApplicationVersion(builtVersion());

    // --screenshot renders the window into a picture and ends, for the
    // README; the program itself takes no arguments.
    QCommandLineParser parser;
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window and quit."),
                                        QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.process(app);

    QtPlatform platform;
    frmTallyforge window(platform);
    platform.setOwner(&window);
    window.show();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        // A few ticks of the poll first, so the picture shows the settled window.
        QTimer::singleShot(300, &window, [&window, file] {
            const bool saved = window.grab().save(file);
            if (!saved) {
                std::fprintf(stderr, "Could not save %s\n", qPrintable(file));
            }
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return processsignals::finish(app.exec());
}
