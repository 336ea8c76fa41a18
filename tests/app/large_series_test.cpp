#include "window_driver.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class LargeSeriesTest : public WindowTestCase {
    Q_OBJECT

    void fill(const QString& step, const QString& max) {
        w->type("txtkillamount", step);
        w->type("txtkillsupto", max);
        w->type("txtoreamount", "100");
        w->click("chkp1");
    }
    QString tooltip() const { return w->get("cmdcreate")->toolTip(); }
    // The reason a greyed Add gives, as its tooltip and its status tip.
    QString addTips() const {
        QStringList tips;
        for (const char* add : {"menuaddtrg", "menuaddmap"}) {
            tips << w->get<QAction>(add)->toolTip() << w->get<QAction>(add)->statusTip();
        }
        tips.removeDuplicates();
        return tips.join(" | ");
    }

  private slots:
    void aSmallSeriesNeverShowsTheProgressBox() {
        fill("5", "50");
        w->platform.savedNames = {at("small.trg")};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QCOMPARE(w->platform.log, (QStringList{"save", "Please hold...", "File created"}));
        QCOMPARE(w->platform.progressBoxesShown, 0);
        QCOMPARE(contents(at("small.trg")).size(), 2408 + 10 * 2400);
    }

    void cancellingABigWriteKeepsTheOldFileAndLeavesNothingBehind() {
        QVERIFY2(QFile(at("big.trg")).open(QIODevice::WriteOnly), "could not make the old file");
        {
            QFile old(at("big.trg"));
            QVERIFY2(old.open(QIODevice::WriteOnly), "could not write the old file");
            old.write("the old triggers");
        }
        fill("1", "30000");
        w->platform.savedNames = {at("big.trg")};
        w->platform.answers = {MessageAnswer::Yes}; // replace it
        w->form.setDiskForTests(
            [](trigfile::ByteSink& file) { return std::make_unique<SlowDisk>(file); });
        QSignalSpy ticks(w->get<QTimer>("Timer1"), &QTimer::timeout);
        QString shownLabel;
        int shownMaximum = 0;
        bool closedWhileWriting = true;
        int ticksBeforeBox = -1;
        w->platform.onProgressShown = [&](QProgressDialog& box) {
            ticksBeforeBox = static_cast<int>(ticks.count());
            // The box counts the records as they are written.
            QVERIFY2(QTest::qWaitFor([&] { return box.value() > 0; }, 5000),
                     "the progress box counted no record within 5 seconds");
            shownLabel = box.labelText();
            shownMaximum = box.maximum();
            closedWhileWriting = w->form.close();
            auto* cancel = box.findChild<QPushButton*>();
            QVERIFY2(cancel != nullptr, "the progress box has no Cancel button");
            QTest::mouseClick(cancel, Qt::LeftButton);
        };
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);

        QCOMPARE(w->platform.progressBoxesShown, 1);
        QVERIFY2(ticksBeforeBox > 0, "the window's timer must go on ticking during the write");
        QVERIFY2(shownLabel.contains(" of 30,000"), qPrintable(shownLabel));
        QCOMPARE(shownMaximum, 30000);
        QVERIFY2(!closedWhileWriting, "the window must not close in the middle of a write");
        QVERIFY2(w->form.isVisible(), "the window must still be open after the cancelled write");
        QCOMPARE(w->platform.log.join('|'), QString("save|Error: Same name|Please hold..."));
        QCOMPARE(contents(at("big.trg")), QByteArray("the old triggers"));
        QCOMPARE(files(), QStringList{"big.trg"});
    }

    void moreTriggersThanAPlayerCanSaveAsksFirst_data() {
        QTest::addColumn<QString>("max");
        QTest::addColumn<QList<MessageAnswer>>("answers");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("65,534 is fine") << "65534" << QList<MessageAnswer>{} << QStringList{"save"};
        QTest::newRow("65,535 asks; No ends it")
            << "65535" << QList<MessageAnswer>{MessageAnswer::No}
            << QStringList{"Warning: Many triggers"};
        QTest::newRow("65,535 asks; Yes goes on to the file")
            << "65535" << QList<MessageAnswer>{MessageAnswer::Yes}
            << QStringList{"Warning: Many triggers", "save"};
    }
    void moreTriggersThanAPlayerCanSaveAsksFirst() {
        QFETCH(QString, max);
        QFETCH(QList<MessageAnswer>, answers);
        QFETCH(QStringList, log);
        fill("1", max);
        w->platform.answers = {answers.begin(), answers.end()};
        // The save dialogue is cancelled, so nothing is ever written here.
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QCOMPARE(w->platform.log, log);
        QVERIFY2(files().isEmpty(), qPrintable("left behind: " + files().join(", ")));
        if (!answers.isEmpty()) {
            const MessageRequest& asked = w->platform.messages.front();
            QCOMPARE(asked.buttons, MessageButtons::YesNo);
            QCOMPARE(asked.defaultButton, MessageAnswer::No);
            QCOMPARE(asked.icon, MessageIcon::Warning);
            QVERIFY2(asked.text.contains("65,535 triggers"), qPrintable(asked.text));
            QVERIFY2(asked.text.contains("157.3 MB"), qPrintable(asked.text));
            QVERIFY2(asked.text.contains("crash"), qPrintable(asked.text));
        }
    }

    void theCreateTooltipFollowsTheInputs() {
        QTRY_VERIFY(tooltip().contains("How often does it fire?"));
        QCOMPARE(addTips(), tooltip());
        fill("5", "12");
        QTRY_COMPARE(tooltip(), QString("Create will write 2 triggers, a file of 7,208 bytes."));
        w->clear("txtkillsupto");
        w->type("txtkillsupto", "9999999");
        w->clear("txtkillamount");
        w->type("txtkillamount", "1");
        QTRY_VERIFY2(tooltip().contains("16,777,215") == false &&
                         tooltip().startsWith("Create will write 9,999,999 triggers, a file of "
                                              "24.0 GB (24,000,000,008 bytes)."),
                     qPrintable(tooltip()));
        w->clear("txtkillamount");
        w->type("txtkillamount", "0");
        QTRY_VERIFY2(tooltip().contains("\"How often does it fire?\" must hold"),
                     qPrintable(tooltip()));
        w->click("chkp1");
        QTRY_COMPARE(tooltip(), QString("Tick at least one player or force first."));
        QCOMPARE(addTips(), tooltip());
    }
};

QTEST_MAIN(LargeSeriesTest)
#include "large_series_test.moc"
