#include "app/open_command.h"
#include "window_driver.h"

#include <QFile>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "maparchive/open_triggers.h"
#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file.h"
#include "trigfile/trigger_listing.h"
#include "trigfile/trigger_record.h"
#include "trigfile/trigger_series.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

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

// A trigger file of `count` triggers that each wait for 7 kills: each
// starts a series of its own, so that the listing runs to many lines.
QByteArray oneTriggerSeries(std::uint32_t count) {
    trigfile::RecordFields fields;
    fields.reward = {trigfile::kCurrentPlayer, 100,
                     trigfile::kResourceOre,   trigfile::kActionSetResources,
                     trigfile::kModifierAdd,   trigfile::kActionAlwaysDisplay};
    fields.executionTable[trigfile::kPlayer1] = 1;
    const auto preamble = trigfile::encodePreamble();
    QByteArray out(reinterpret_cast<const char*>(preamble.data()),
                   static_cast<qsizetype>(preamble.size()));
    for (std::uint32_t k = 0; k < count; ++k) {
        const auto record = trigfile::encodeRecord(fields, 7);
        out.append(reinterpret_cast<const char*>(record.data()),
                   static_cast<qsizetype>(record.size()));
    }
    return out;
}

// Holds every trigger of a read until the test lets it go (or ten seconds
// pass), so that the progress box is certain to be up before the read ends.
class HeldSource : public trigfile::TriggerSource {
  public:
    HeldSource(std::unique_ptr<trigfile::TriggerSource> file, const std::atomic<bool>& released)
        : file_(std::move(file)), released_(released) {}
    base::Outcome<trigfile::TriggerTotals> walk(const trigfile::TriggerVisitor& visit) override {
        return file_->walk([&](const trigfile::TriggerView& trigger) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!released_ && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            visit(trigger);
        });
    }

  private:
    std::unique_ptr<trigfile::TriggerSource> file_;
    const std::atomic<bool>& released_;
};

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
        // Thousands of lines: the listing box reads them back from its
        // temporary file a group at a time.
        QTest::newRow("hundreds of one-trigger series")
            << oneTriggerSeries(400) << "many.trg" << true;
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
            // The listing shown is the core's listing of the file, line for line.
            const auto source = maparchive::triggerSourceOf(at(name).toStdString());
            QVERIFY2(source.ok(), source.ok() ? "" : source.reason().c_str());
            std::ostringstream listing;
            QVERIFY(trigfile::writeListing(**source, listing).ok());
            QCOMPARE(w->platform.listings[0].text, QString::fromStdString(listing.str()));
        } else {
            QCOMPARE(w->platform.log, QStringList({"open", "Error: Can't open"}));
            QVERIFY2(w->platform.messages[0].text.contains(name),
                     qPrintable(w->platform.messages[0].text));
        }
        QCOMPARE(w->text("txtkillamount"), QString());
        QCOMPARE(w->text("txtunittype"), QString("230"));
    }

    // A read cancelled from its progress box shows no listing and leaves
    // the window as it was, though the file could fill it.
    void aCancelledOpenShowsNothingAndLeavesTheWindowAlone() {
        QVERIFY2(writeSeries(at("held.trg"),
                             settings({"5", "50", "37", "100", ""}, ActionKind::Money, {"p1"})),
                 "the core refused or failed the series");
        w->platform.openedNames.push_back(at("held.trg"));
        w->platform.listingAnswers.push_back(ListingAnswer::Fill);
        std::atomic<bool> boxSeen{false};
        w->form.setReadingForTests([&](std::unique_ptr<trigfile::TriggerSource> file) {
            return std::make_unique<HeldSource>(std::move(file), boxSeen);
        });
        QString title;
        w->platform.onProgressShown = [&](QProgressDialog& box) {
            title = box.windowTitle();
            QTest::mouseClick(box.findChild<QPushButton*>(), Qt::LeftButton);
            boxSeen = true;
        };
        pressOpen();
        QCOMPARE(w->platform.progressBoxesShown, 1);
        QCOMPARE(title, QString("Opening held.trg"));
        QCOMPARE(w->platform.log, QStringList{"open"}); // cancelled: nothing more to say
        QCOMPARE(w->text("txtkillamount"), QString());
        QCOMPARE(w->text("txtunittype"), QString("230"));
    }
};

QTEST_MAIN(OpenTest)
#include "open_test.moc"
