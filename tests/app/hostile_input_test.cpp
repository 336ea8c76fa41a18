#include "window_driver.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Odd text typed and pasted as map authors do. Nothing may crash or hang;
// each input either reads as the leading-number rule says, as the written
// file shows, or is refused at Create with its reason.
class HostileInputTest : public WindowTestCase {
    Q_OBJECT

    // One trigger for kill 1 of unit 0, 100 ore, Player 1: every row changes one box.
    void fillValid() {
        w->type("txtkillamount", "1");
        w->type("txtkillsupto", "1");
        w->clear("txtunittype");
        w->type("txtunittype", "0");
        w->type("txtoreamount", "100");
        w->click("chkp1");
    }
    // Types each character as its own key press; characters beyond ASCII
    // arrive as a keyboard layout of their script would send them.
    void typeKeys(const QString& box, const QString& keys) {
        NumberBox* target = w->box(box);
        QTest::mouseClick(target, Qt::LeftButton);
        QTest::keyClick(target, Qt::Key_End);
        for (const QChar c : keys) {
            if (c.unicode() < 128) {
                QTest::keyClick(target, c.toLatin1());
            } else {
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
            }
        }
    }
    void enter(const QString& box, const QString& input, bool paste) {
        w->clear(box);
        if (!paste) {
            const QStringList lines = input.split("\r\n");
            for (int i = 0; i < lines.size(); ++i) {
                if (i > 0) {
                    QTest::keyClick(w->box(box), Qt::Key_Return);
                }
                typeKeys(box, lines[i]);
            }
            return;
        }
        QApplication::clipboard()->setText(input);
        QTest::mouseClick(w->box(box), Qt::LeftButton);
        QTest::keySequence(w->box(box), QKeySequence::Paste);
    }
    static std::uint32_t u32(const QByteArray& file, int offset) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = (v << 8) | static_cast<std::uint8_t>(file[offset + i]);
        }
        return v;
    }

  private slots:
    void hostileInput_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("held");    // the box's text afterwards
        QTest::addColumn<QString>("refusal"); // part of the reason; empty when written
        QTest::addColumn<int>("records");     // when written: the number of triggers
        QTest::addColumn<int>("reward");      // when written: the first action's amount
        QTest::addColumn<int>("resource");    // when written: 0 ore, 1 gas

        const QString step = "How often does it fire?";
        const QString max = "Up to what number of kills?";
        const QString gas = "How much gas per kill?";

        // Long pastes are cut at the box's limit.
        QTest::newRow("10,000 digits pasted as the step")
            << "txtkillamount" << QString(10000, '9') << true << "9999999"
            << "" << 1 << 100 << 0;
        QTest::newRow("10,000 letters pasted as the ore")
            << "txtoreamount" << QString(10000, 'x') << true << "xxxxxxx"
            << "" << 1 << 0 << 1;

        // Digits of other scripts are not digits to the rule.
        QTest::newRow("Arabic-Indic digits as the step")
            << "txtkillamount" << QString::fromUtf8("\u0661\u0662") << false
            << QString::fromUtf8("\u0661\u0662") << step << 0 << 0 << 0;
        QTest::newRow("full-width digits as the ore")
            << "txtoreamount" << QString::fromUtf8("\uFF11\uFF12") << false
            << QString::fromUtf8("\uFF11\uFF12") << "" << 1 << 0 << 1;

        // Control characters end the number; blanks and tabs are skipped.
        QTest::newRow("a control character inside the ore") << "txtoreamount"
                                                            << QString("7\x01"
                                                                       "8")
                                                            << true
                                                            << QString("7\x01"
                                                                       "8")
                                                            << "" << 1 << 7 << 0;
        QTest::newRow("an embedded NUL inside the ore")
            << "txtoreamount" << QString("7") + QChar(0) + "8" << true
            << QString("7") + QChar(0) + "8"
            << "" << 1 << 7 << 0;
        QTest::newRow("a tab inside the ore")
            << "txtoreamount" << QString("4\t2") << true << QString("4\t2") << "" << 1 << 42 << 0;

        // Numbers too large for anything.
        QTest::newRow("1e999 as the maximum") << "txtkillsupto"
                                              << "1e999" << false << "1e999" << max << 0 << 0 << 0;
        QTest::newRow("-1e999 as the maximum")
            << "txtkillsupto"
            << "-1e999" << false << "-1e999" << max << 0 << 0 << 0;
        QTest::newRow("1e999 as the extra gas")
            << "txtgasamount"
            << "1e999" << false << "1e999" << gas << 0 << 0 << 0;
        QTest::newRow("-1e999 as the extra gas is never written") << "txtgasamount"
                                                                  << "-1e999" << false << "-1e999"
                                                                  << "" << 1 << 100 << 0;
        QTest::newRow("1e999 as the unit is cut, then bounded") << "txtunittype"
                                                                << "1e999" << false << "230"
                                                                << "" << 1 << 100 << 0;

        // Hexadecimal and octal, cut at seven characters.
        QTest::newRow("&HFFFFFFF as the ore") << "txtoreamount"
                                              << "&HFFFFFFF" << false << "&HFFFFF"
                                              << "" << 1 << 1048575 << 0;
        QTest::newRow("&O7777777 as the ore") << "txtoreamount"
                                              << "&O7777777" << false << "&O77777"
                                              << "" << 1 << 32767 << 0;
        QTest::newRow("&H alone as the step") << "txtkillamount"
                                              << "&H" << false << "&H" << step << 0 << 0 << 0;

        // Signs and points that make no number.
        QTest::newRow("--5 as the step") << "txtkillamount"
                                         << "--5" << false << "--5" << step << 0 << 0 << 0;
        QTest::newRow("+.e3 as the step") << "txtkillamount"
                                          << "+.e3" << false << "+.e3" << step << 0 << 0 << 0;
        QTest::newRow(".5 as the step rounds to 0") << "txtkillamount"
                                                    << ".5" << false << ".5" << step << 0 << 0 << 0;
        QTest::newRow(".5 as the ore is ore, rounded to 0") << "txtoreamount"
                                                            << ".5" << false << ".5"
                                                            << "" << 1 << 0 << 0;
        QTest::newRow("a lone minus as the unit is unit 0") << "txtunittype"
                                                            << "-" << false << "-"
                                                            << "" << 1 << 100 << 0;

        // A line break in the middle of a number ends it.
        QTest::newRow("CR LF inside the maximum") << "txtkillsupto"
                                                  << "3\r\n2" << false << "3\r\n2"
                                                  << "" << 3 << 100 << 0;
    }
    void hostileInput() {
        QFETCH(QString, box);
        QFETCH(QString, input);
        QFETCH(bool, paste);
        QFETCH(QString, held);
        QFETCH(QString, refusal);
        QFETCH(int, records);
        QFETCH(int, reward);
        QFETCH(int, resource);

        fillValid();
        enter(box, input, paste);
        QCOMPARE(w->text(box), held);

        const QString path = dir->filePath("hostile.trg");
        w->platform.savedNames = {path};
        QVERIFY2(w->pressCreate(), kCreateNeverEnabled);

        if (!refusal.isEmpty()) {
            QCOMPARE(w->platform.log, QStringList{"Error: Can't create"});
            QVERIFY2(w->platform.messages.front().text.contains(refusal),
                     qPrintable(w->platform.messages.front().text));
            QVERIFY2(!QFile::exists(path), "a refused Create must not write a file");
            return;
        }
        QCOMPARE(w->platform.log, (QStringList{"save", "Please hold...", "File created"}));
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly),
                 "Create said the file was made, but it cannot be read");
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 2408 + 2400 * records);
        const int slot0 = 2408 + 320;
        QCOMPARE(u32(bytes, slot0 + 20), static_cast<std::uint32_t>(reward));
        QCOMPARE(static_cast<int>(bytes[slot0 + 24]), resource);
    }
};

QTEST_MAIN(HostileInputTest)
#include "hostile_input_test.moc"
