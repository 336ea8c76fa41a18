#include "app/open_command.h"
#include "window_driver.h"

#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file.h"
#include "trigfile/trigger_series.h"

#include <memory>

Q_DECLARE_METATYPE(trigfile::KillRewardSettings)

namespace {

using trigfile::ActionKind;
using trigfile::CheckValue;

// Settings as the window would read them: the box texts (kill step, maximum,
// unit, amount, gas), the kind, and the ticked owners ("p1", "f2", "all").
trigfile::KillRewardSettings settings(const QStringList& texts, ActionKind kind,
                                      const QStringList& owners, int scoreKind = 0) {
    auto s = trigfile::readSettings(
        trigfile::BoxTexts{texts[1].toStdString(), texts[0].toStdString(), texts[3].toStdString(),
                           texts[4].toStdString(), texts[2].toStdString()});
    s.actionKind = kind;
    s.scoreKind = scoreKind;
    for (const QString& owner : owners) {
        if (owner == "all") {
            s.allPlayers = CheckValue::Ticked;
        } else if (owner.startsWith('p')) {
            s.players[owner.mid(1).toUInt() - 1] = CheckValue::Ticked;
        } else {
            s.forces[owner.mid(1).toUInt() - 1] = CheckValue::Ticked;
        }
    }
    return s;
}

// Writes the file Create would write for these settings, through the core.
bool writeSeries(const QString& path, const trigfile::KillRewardSettings& s) {
    const auto plan = trigfile::planSeries(trigfile::normalise(s));
    return plan.ok() && trigfile::writeTriggerFile(path.toStdString(), *plan).ok();
}

} // namespace

class OpenTest : public WindowTestCase {
    Q_OBJECT

    void pressOpen() const { QTest::keyClick(&w->form, Qt::Key_O, Qt::ControlModifier); }

  private slots:
    void fileMenuStandsLeftOfHelp() {
        const QList<QAction*> menus = w->form.menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menus[0]->text(), QString("&File"));
        QCOMPARE(menus[1]->text(), QString("&Help"));
        auto* open = w->get<QAction>("menuopen");
        QCOMPARE(open->text(), QString("&Open..."));
        QCOMPARE(open->shortcut(), QKeySequence("Ctrl+O"));
    }

    // Open a file Create wrote, fill the window from it, Create again: the
    // same bytes come out.
    void aFilledWindowWritesTheSameFileAgain_data() {
        QTest::addColumn<trigfile::KillRewardSettings>("original");
        QTest::newRow("ore and gas")
            << settings({"5", "50", "37", "100", "20"}, ActionKind::Money, {"p1", "f2"});
        QTest::newRow("gas only") << settings({"3", "10", "0", "0", "300"}, ActionKind::Money,
                                              {"all"});
        QTest::newRow("score, Razings")
            << settings({"10", "95", "232", "1000", ""}, ActionKind::Score, {"p8"}, 5);
        QTest::newRow("switch 256")
            << settings({"1", "1", "7", "256", ""}, ActionKind::Switch, {"f1", "f4"});
    }
    void aFilledWindowWritesTheSameFileAgain() {
        QFETCH(trigfile::KillRewardSettings, original);
        QVERIFY2(writeSeries(at("made.trg"), original),
                 "the core refused or failed the original series");
        w->platform.openedNames.push_back(at("made.trg"));
        w->platform.listingAnswers.push_back(ListingAnswer::Fill);
        w->platform.savedNames.push_back(at("again.trg"));
        pressOpen();
        QCOMPARE(w->platform.listings.size(), std::size_t{1});
        QVERIFY2(w->platform.listings[0].offerFill, "a lone series of Create's is offered");
        QCOMPARE(w->platform.listings[0].title, QString("Triggers in made.trg"));
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);
        QTRY_VERIFY(w->platform.log.contains("File created"));
        QCOMPARE(contents(at("again.trg")), contents(at("made.trg")));
    }

    // What cannot be filled in leaves the window as it was.
    void aFileThatCannotFillTheWindowLeavesItAlone_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("listed");
        const auto money = settings({"5", "50", "37", "100", ""}, ActionKind::Money, {"p1"});
        QByteArray two;
        {
            QTemporaryDir scratch;
            const auto other = settings({"5", "50", "37", "100", ""}, ActionKind::Money, {"p2"});
            const QString a = scratch.filePath("a.trg"), b = scratch.filePath("b.trg");
            writeSeries(a, money);
            writeSeries(b, other);
            two = contents(a) + contents(b).mid(static_cast<qsizetype>(trigfile::kPreambleSize));
        }
        QByteArray tooLong;
        {
            QTemporaryDir scratch;
            writeSeries(scratch.filePath("c.trg"),
                        settings({"8000000", "16000000", "0", "1", ""}, ActionKind::Money, {"p1"}));
            tooLong = contents(scratch.filePath("c.trg"));
        }
        QTest::newRow("damaged") << QByteArray("qw\x98\x36 not triggers") << "bad.trg" << false;
        QTest::newRow("not a trigger file or map") << two << "two.txt" << false;
        QTest::newRow("two series") << two << "two.trg" << true;
        QTest::newRow("more digits than the boxes hold") << tooLong << "long.trg" << true;
    }
    void aFileThatCannotFillTheWindowLeavesItAlone() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(bool, listed);
        QFile file(at(name));
        QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(),
                 "could not write the file to open");
        file.close();
        w->platform.openedNames.push_back(at(name));
        w->platform.listingAnswers.push_back(ListingAnswer::Fill);
        pressOpen();
        if (listed) {
            QCOMPARE(w->platform.listings.size(), std::size_t{1});
            QVERIFY2(!w->platform.listings[0].offerFill, qPrintable(w->platform.listings[0].text));
        } else {
            QCOMPARE(w->platform.log, QStringList({"open", "Error: Can't open"}));
            QVERIFY2(w->platform.messages[0].text.contains(name),
                     qPrintable(w->platform.messages[0].text));
        }
        QCOMPARE(w->text("txtkillamount"), QString());
        QCOMPARE(w->text("txtunittype"), QString("230"));
    }
};

QTEST_MAIN(OpenTest)
#include "open_test.moc"
