#include "window_driver.h"

#include <QTest>

#include <functional>

// Quit, Esc and the close box end the program's event loop at once. Each case
// runs the application's own loop, as the program does, and acts inside it.
class QuitTest : public QObject {
    Q_OBJECT

    // The loop's exit code, or -1 if it was still running after ten seconds.
    static int runProgram(const std::function<void()>& act) {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        guard.start(10000);
        QTimer::singleShot(0, act);
        return QCoreApplication::exec();
    }

  private slots:
    void endsTheProgramWithoutAQuestion_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"Esc in a number box", "Esc in the unit list", "Esc on a check box",
                                "Alt+Q", "Quit clicked", "keypad Enter on Quit", "close box"}) {
            QTest::newRow(how) << QString(how);
        }
    }
    void endsTheProgramWithoutAQuestion() {
        QFETCH(QString, how);
        WindowDriver w;
        QVERIFY(w.show());
        w.type("txtkillamount", "5");
        w.type("txtkillsupto", "50");
        w.click("chkp1");
        QWidget* target = w.box("txtkillamount");
        if (how == "Esc in the unit list") {
            target = w.get("txtunitlist");
        } else if (how == "Esc on a check box") {
            target = w.get("chkp1");
        } else if (how == "keypad Enter on Quit") {
            target = w.get("cmdquit");
        }
        target->setFocus();
        QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);

        const int code = runProgram([&] {
            if (how.startsWith("Esc")) {
                QTest::keyClick(target, Qt::Key_Escape);
            } else if (how == "keypad Enter on Quit") {
                QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
            } else if (how == "Alt+Q") {
                QTest::keyClick(&w.form, Qt::Key_Q, Qt::AltModifier);
            } else if (how == "Quit clicked") {
                w.click("cmdquit");
            } else {
                w.form.close();
            }
        });
        QCOMPARE(code, 0);
        QCOMPARE(aboutToQuit.count(), 1);
        QCOMPARE(w.platform.log, QStringList{}); // nothing asked, nothing saved
    }
};

QTEST_MAIN(QuitTest)
#include "quit_test.moc"
