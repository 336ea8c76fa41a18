#include "app/about_texts.h"
#include "app/unit_list.h"
#include "window_driver.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextBlock>
#include <QTextLayout>
#include <QTest>

#include "trigfile/leading_number.h"

#include <memory>

namespace {

const QStringList kNumberBoxes{"txtkillamount", "txtkillsupto", "txtunittype", "txtoreamount",
                               "txtgasamount"};
const QStringList kCheckBoxes{"chkp1", "chkp2", "chkp3", "chkp4", "chkp5", "chkp6", "chkp7",
                              "chkp8", "chkf1", "chkf2", "chkf3", "chkf4", "chkap"};

// Everything a user can see or change in the window, one control a line.
QStringList snapshot(const frmTallyforge& form) {
    QStringList state;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty()) {
            continue;
        }
        QString line = w->objectName() + (w->isVisible() ? " shown" : " hidden") +
                       (w->isEnabled() ? " enabled" : " disabled");
        if (const auto* box = qobject_cast<const NumberBox*>(w)) {
            line += " [" + box->text() + "] limit " + QString::number(box->characterLimit());
        } else if (const auto* check = qobject_cast<const QCheckBox*>(w)) {
            line += " value " + QString::number(check->checkState());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            line += button->isChecked() ? " selected" : "";
        } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
            line += " " + label->text();
        }
        state << line;
    }
    return state;
}

} // namespace

class WindowTest : public WindowTestCase {
    Q_OBJECT

  private slots:
    void startsWithMoneySelectedAndCreateDisabled() {
        QVERIFY(w->get<QRadioButton>("optcash")->isChecked());
        QVERIFY(!w->get<QRadioButton>("optscore")->isChecked());
        QCOMPARE(w->get<QLabel>("lblorescore")->text(), QString("How much ore per kill?"));
        QVERIFY2(w->get("lblvanish")->isVisible() && w->get("txtgasamount")->isVisible(),
                 "the gas label and box are shown for Money");
        for (int i = 1; i <= 8; ++i) {
            QVERIFY2(w->get(QString("Option%1").arg(i))->isHidden(), "score kinds are hidden");
        }
        QVERIFY2(w->get<QRadioButton>("Option1")->isChecked(), "Total is the kind from the start");
        QCOMPARE(w->text("txtunittype"), QString("230"));
        for (const QString& name : kCheckBoxes) {
            QCOMPARE(w->get<QCheckBox>(name)->checkState(), Qt::Unchecked);
        }
        QVERIFY(w->get("cmdcreate")->isVisible());
        QVERIFY2(w->waitForTicks(2), kTimerStopped);
        QVERIFY2(!w->createEnabled(), "the poll keeps Create disabled in the start state");
        QCOMPARE(QApplication::focusWidget(), w->get("txtkillamount"));
    }

    void windowIsFixedBlackAndTitled() {
        QCOMPARE(w->form.windowTitle(), QString("Tallyforge"));
        QVERIFY(!w->form.windowIcon().isNull());
        QCOMPARE(w->get("clientArea")->size(), QSize(675, 289));
        QCOMPARE(w->form.minimumSize(), w->form.maximumSize());
        const Qt::WindowFlags flags = w->form.windowFlags();
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        auto* menu = w->get<QMenu>("titlehelp");
        QCOMPARE(menu->title(), QString("&Help"));
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QString("&Help"));
        QCOMPARE(menu->actions()[0]->shortcut(), QKeySequence("Ctrl+H"));
        QCOMPARE(menu->actions()[1]->text(), QString("&About"));
        QCOMPARE(menu->actions()[1]->shortcut(), QKeySequence("Ctrl+A"));

        // Rendered: black client area, white number boxes, white captions.
        const QImage client = w->get("clientArea")->grab().toImage();
        QCOMPARE(client.pixelColor(2, 287), QColor(Qt::black));
        const QRect box =
            w->get("txtgasamount")
                ->geometry()
                .translated(
                    w->get("txtgasamount")->parentWidget()->mapTo(w->get("clientArea"), QPoint()));
        QCOMPARE(client.pixelColor(box.left() + 6, box.center().y()), QColor(Qt::white));
        const QImage label = w->get("Label1")->grab().toImage();
        bool whiteInk = false;
        for (int y = 0; y < label.height() && !whiteInk; ++y) {
            for (int x = 0; x < label.width() && !whiteInk; ++x) {
                whiteInk = label.pixelColor(x, y).lightness() > 200;
            }
        }
        QVERIFY2(whiteInk, "label captions are white on black");
    }

    void controlsSitWhereTheLayoutPutsThem_data() {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry"); // pixels, from the twips / 15
        auto row = [](const char* name, const char* parent, int x, int y, int w, int h) {
            QTest::newRow(name) << QString(parent) << QRect(x, y, w, h);
        };
        row("Picture1", "clientArea", 8, 0, 385, 49);
        row("Frame2", "clientArea", 8, 48, 433, 233);
        row("Frame1", "clientArea", 448, 0, 217, 41);
        row("Frame4", "clientArea", 448, 48, 217, 161);
        row("cmdcreate", "clientArea", 448, 216, 217, 33);
        row("cmdquit", "clientArea", 448, 256, 217, 25);
        row("Frame3", "Frame2", 8, 16, 153, 209);
        row("Label1", "Frame2", 168, 16, 81, 33);
        row("txtkillamount", "Frame2", 168, 48, 81, 33);
        row("Label2", "Frame2", 168, 88, 81, 33);
        row("txtkillsupto", "Frame2", 168, 120, 81, 33);
        row("Label4", "Frame2", 168, 160, 81, 33);
        row("txtunittype", "Frame2", 168, 192, 81, 30);
        row("txtunitlist", "Frame2", 256, 24, 169, 201);
        row("chkp1", "Frame3", 8, 16, 65, 17);
        row("chkp8", "Frame3", 8, 184, 65, 17);
        row("chkf1", "Frame3", 72, 16, 57, 17);
        row("chkf4", "Frame3", 72, 136, 57, 17);
        row("chkap", "Frame3", 72, 184, 73, 17);
        row("optcash", "Frame1", 8, 16, 57, 17);
        row("optscore", "Frame1", 80, 16, 49, 17);
        row("optswitch", "Frame1", 152, 16, 57, 17);
        row("lblorescore", "Frame4", 8, 16, 81, 33);
        row("txtoreamount", "Frame4", 8, 48, 81, 33);
        row("lblvanish", "Frame4", 8, 88, 81, 33);
        row("txtgasamount", "Frame4", 8, 120, 81, 33);
        row("Option1", "Frame4", 96, 16, 97, 17);
        row("Option4", "Frame4", 96, 64, 113, 17);
        row("Option8", "Frame4", 96, 128, 97, 17);
    }
    void controlsSitWhereTheLayoutPutsThem() {
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QWidget* control = w->get(QTest::currentDataTag());
        QVERIFY2(control, "no control of that name");
        QCOMPARE(control->parentWidget()->objectName(), parent);
        QCOMPARE(control->geometry(), geometry);
    }

    void numberBoxesAreBoldBlackOnWhite() {
        for (const QString& name : kNumberBoxes) {
            const QFont font = w->box(name)->font();
            QVERIFY2(font.bold() && font.pointSize() == 12, qPrintable(name));
            QCOMPARE(w->box(name)->alignment(), Qt::AlignCenter);
            QCOMPARE(w->box(name)->palette().color(QPalette::Base), QColor(Qt::white));
            QCOMPARE(w->box(name)->palette().color(QPalette::Text), QColor(Qt::black));
        }
    }

    void captionsFitTheirBoxes() {
        // MS Sans Serif, or a font of its width (Arial's metrics), is needed
        // for the captions to fit; a wider stand-in wraps onto a third line.
        const QString family = w->get("Label1")->fontInfo().family();
        if (!QStringList{"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans",
                         "Helvetica", "Nimbus Sans"}
                 .contains(family)) {
            QSKIP(qPrintable("the captions are laid out for MS Sans Serif or a font of Arial's "
                             "width (Debian: fonts-liberation); this machine has " +
                             family));
        }
        for (const char* name : {"Label1", "Label2", "Label4", "lblorescore", "lblvanish"}) {
            auto* label = w->get<QLabel>(name);
            QCOMPARE(label->font().pointSize(), 8);
            QVERIFY2(label->wordWrap() && label->heightForWidth(81) <= 33,
                     qPrintable(QString("%1 must wrap within 81 x 33 pixels").arg(name)));
        }
        QStringList marked = kCheckBoxes;
        marked << "optcash"
               << "optscore"
               << "optswitch"
               << "Option4"
               << "Option7";
        for (const QString& name : marked) {
            auto* button = w->get<QAbstractButton>(name);
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room = button->style()->subElementRect(button->inherits("QCheckBox")
                                                                   ? QStyle::SE_CheckBoxContents
                                                                   : QStyle::SE_RadioButtonContents,
                                                               &option, button);
            QVERIFY2(room.width() >= button->fontMetrics().horizontalAdvance(button->text()),
                     qPrintable(name + " shows its whole caption"));
        }
    }

    void boxesRefuseKeysPastTheirLimit_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("expected");
        for (const char* name : {"txtkillamount", "txtkillsupto", "txtoreamount", "txtgasamount"}) {
            QTest::newRow(name) << QString(name) << QString("1234567");
        }
        QTest::newRow("txtunittype") << QString("txtunittype") << QString("123");
    }
    void boxesRefuseKeysPastTheirLimit() {
        QFETCH(QString, box);
        QFETCH(QString, expected);
        w->clear(box);
        w->type(box, "12345678");
        QCOMPARE(w->text(box), expected);
    }

    void enterBreaksTheLineOnlyInMultiLineBoxes_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("expected");
        QTest::newRow("txtkillsupto") << QString("txtkillsupto") << QString("12\r\n");
        QTest::newRow("txtoreamount") << QString("txtoreamount") << QString("12\r\n");
        QTest::newRow("txtkillamount") << QString("txtkillamount") << QString("12");
        QTest::newRow("txtgasamount") << QString("txtgasamount") << QString("12");
    }
    void enterBreaksTheLineOnlyInMultiLineBoxes() {
        QFETCH(QString, box);
        QFETCH(QString, expected);
        w->type(box, "12");
        QTest::keyClick(w->box(box), Qt::Key_Return);
        QCOMPARE(w->text(box), expected);
        QCOMPARE(trigfile::leadingNumber(w->text(box).toStdString()), 12.0);
    }

    void lineBreakCountsTwoAgainstTheLimit() {
        w->type("txtkillsupto", "12345");
        QTest::keyClick(w->box("txtkillsupto"), Qt::Key_Enter);
        QCOMPARE(w->text("txtkillsupto"), QString("12345\r\n"));
        w->type("txtkillsupto", "6");
        QCOMPARE(w->text("txtkillsupto"), QString("12345\r\n"));
        QTest::keyClick(w->box("txtkillsupto"), Qt::Key_Backspace); // the break goes whole
        QCOMPARE(w->text("txtkillsupto"), QString("12345"));

        w->type("txtoreamount", "123456");
        QTest::keyClick(w->box("txtoreamount"), Qt::Key_Return);
        QCOMPARE(w->text("txtoreamount"), QString("123456")); // no room for both characters
    }

    void pasteIsCutAtTheLimit_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("expected");
        QTest::newRow("txtkillamount") << QString("txtkillamount") << QString("98765");
        QTest::newRow("txtunittype") << QString("txtunittype") << QString("9");
        QTest::newRow("txtkillsupto") << QString("txtkillsupto") << QString("98\r\n7");
    }
    void pasteIsCutAtTheLimit() {
        QFETCH(QString, box);
        QFETCH(QString, expected);
        QGuiApplication::clipboard()->setText(box == "txtkillsupto" ? "98\r\n76543210"
                                                                    : "987654321");
        w->clear(box);
        w->type(box, "12");
        QTest::keyClick(w->box(box), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->text(box), "12" + expected);
    }

    void unitListHoldsTheExactList() {
        auto* list = w->get<UnitList>("txtunitlist");
        QFile asset(TALLYFORGE_UNIT_LIST_FILE);
        QVERIFY2(asset.open(QIODevice::ReadOnly), TALLYFORGE_UNIT_LIST_FILE " cannot be read");
        QCOMPARE(list->listText(), QString::fromLatin1(asset.readAll()));
        QVERIFY(list->listText().endsWith("232 = Factories\r\n"));
        QStringList lines = list->listText().split("\r\n");
        QCOMPARE(lines.takeLast(), QString()); // a CR LF after the last line too
        QCOMPARE(lines.size(), 174);
        QCOMPARE(lines.first(), QString("0 = Marine"));
        const QStringList blankEnded = lines.filter(QRegularExpression(" $"));
        QCOMPARE(blankEnded.size(), 9);
        QVERIFY2(blankEnded.contains("17 = Alan ") && blankEnded.contains("87 = Aldaris "),
                 qPrintable("lines ending in a blank: " + blankEnded.join(" | ")));
        QCOMPARE(lines.filter(QRegularExpression("^\\d+ = ")).size(), 174 - 8);
        // What the box shows is the same list, line for line.
        QCOMPARE(list->toPlainText().split('\n'), lines << QString());
        QVERIFY2(list->verticalScrollBar()->isVisible() && list->verticalScrollBar()->maximum() > 0,
                 "the unit list must scroll");
    }

    void siegeTankLineFitsTheUnitList() {
        // The list wraps lines wider than the box, and a name split in two
        // reads as two entries. With the window's font (MS Sans Serif, or a
        // stand-in of its width) the Siege Tank's second mode fits.
        auto* list = w->get<UnitList>("txtunitlist");
        const QString family = list->fontInfo().family();
        if (!QStringList{"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans",
                         "Helvetica", "Nimbus Sans"}
                 .contains(family)) {
            QSKIP(qPrintable("the list is laid out for MS Sans Serif or a font of Arial's "
                             "width; this machine has " +
                             family));
        }
        const QTextBlock block = list->document()->findBlockByNumber(
            list->toPlainText().split('\n').indexOf("30 = Siege Tank(Siege mode)"));
        QVERIFY(block.isValid());
        auto* layout = qobject_cast<QPlainTextDocumentLayout*>(list->document()->documentLayout());
        QVERIFY(layout);
        layout->ensureBlockLayout(block);
        QCOMPARE(block.layout()->lineCount(), 1);
    }

    void unitListRefusesTypingPastingAndDeleting() {
        auto* list = w->get<UnitList>("txtunitlist");
        QGuiApplication::clipboard()->setText("99 = Nothing");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
        QCOMPARE(QApplication::focusWidget(), list);
        QTest::keyClicks(list, "12");
        for (int key : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Return}) {
            QTest::keyClick(list, Qt::Key(key));
        }
        QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(list->toPlainText().replace('\n', "\r\n"), list->listText());
        const int before = list->verticalScrollBar()->value();
        QTest::keyClick(list, Qt::Key_PageDown);
        QVERIFY2(list->verticalScrollBar()->value() > before, "the list scrolls");
    }

    void tabVisitsTheControlsInTabIndexOrder() {
        const QStringList expected{"txtkillsupto", "txtunittype", "txtoreamount", "txtgasamount",
                                   "cmdquit",      "optcash",     "chkp1"};
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        // Create is disabled, and so skipped; an option group is one stop, at
        // its selected button.
        QCOMPARE(visited, expected);
        for (int i = 0; i < 13; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("txtunitlist"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("txtkillamount"));
    }

    // A person at the keyboard: Tab enters an option group on its selected
    // button, the arrow keys select as they move, round the end of the group.
    void everyOptionIsReachedFromTheKeyboard() {
        auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), k, m);
            return QApplication::focusWidget()->objectName();
        };
        auto selected = [this](const char* name) {
            return w->get<QRadioButton>(name)->isChecked();
        };
        for (int i = 0; i < 5; ++i) {
            key(Qt::Key_Tab);
        }
        QCOMPARE(key(Qt::Key_Tab), QString("optcash"));
        QCOMPARE(key(Qt::Key_Right), QString("optscore"));
        QVERIFY2(selected("optscore") && w->get("Option1")->isVisible(),
                 "the arrow selects Score and runs its handler");
        QCOMPARE(key(Qt::Key_Right), QString("optswitch"));
        QVERIFY(selected("optswitch"));
        QCOMPARE(key(Qt::Key_Right), QString("optcash"));
        QCOMPARE(key(Qt::Key_Left), QString("optswitch"));
        QCOMPARE(key(Qt::Key_Up), QString("optscore"));
        QCOMPARE(key(Qt::Key_Tab), QString("chkp1"));
        QCOMPARE(key(Qt::Key_Tab, Qt::ShiftModifier), QString("optscore"));

        // The score kinds: one stop at Total, every kind by the arrows.
        w->get("txtunitlist")->setFocus(Qt::TabFocusReason);
        QCOMPARE(key(Qt::Key_Tab), QString("Option1"));
        for (int i = 2; i <= 8; ++i) {
            QCOMPARE(key(Qt::Key_Down), QString("Option%1").arg(i));
            QVERIFY(selected(qPrintable(QString("Option%1").arg(i))));
        }
        QCOMPARE(key(Qt::Key_Tab), QString("txtkillamount"));
        QCOMPARE(key(Qt::Key_Tab, Qt::ShiftModifier), QString("Option8"));
        QCOMPARE(key(Qt::Key_Tab, Qt::ShiftModifier), QString("txtunitlist"));

        // Once the group has had the focus, Switch is still a stop when chosen.
        w->click("optswitch");
        w->get("txtunitlist")->setFocus(Qt::TabFocusReason);
        QCOMPARE(key(Qt::Key_Tab), QString("optswitch"));
    }

    void enterPressesTheFocusedCreateButton_data() {
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("Enter") << Qt::KeyboardModifiers(Qt::NoModifier);
        QTest::newRow("keypad Enter") << Qt::KeyboardModifiers(Qt::KeypadModifier);
    }
    void enterPressesTheFocusedCreateButton() {
        QFETCH(Qt::KeyboardModifiers, modifiers);
        w->type("txtkillamount", "5");
        w->type("txtkillsupto", "50");
        w->type("txtoreamount", "100");
        w->click("chkp1");
        QVERIFY2(QTest::qWaitFor([this] { return w->createEnabled(); }, 5000), kCreateNeverEnabled);
        w->get("txtgasamount")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w->get("txtgasamount"), Qt::Key_Tab);
        QTest::keyClick(w->get("txtgasamount"), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w->get("cmdcreate"));
        QTest::keyClick(QApplication::focusWidget(),
                        modifiers == Qt::KeypadModifier ? Qt::Key_Enter : Qt::Key_Return,
                        modifiers);
        QCOMPARE(w->platform.log, QStringList{"save"}); // cancelled by the script
    }

    // What a screen reader announces for each box: its caption, which for the
    // amount box follows the action type.
    void boxesAreNamedByTheirCaptions() {
        auto name = [this](const char* control) {
            QAccessibleInterface* info = QAccessible::queryAccessibleInterface(w->get(control));
            return info ? info->text(QAccessible::Name) : QString("(none)");
        };
        QCOMPARE(name("txtkillamount"), QString("How often does it fire?"));
        QCOMPARE(name("txtkillsupto"), QString("Up to what number of kills?"));
        QCOMPARE(name("txtunittype"), QString("Number for unit needed to kill?"));
        QCOMPARE(name("txtoreamount"), QString("How much ore per kill?"));
        QCOMPARE(name("txtgasamount"), QString("How much gas per kill?"));
        QCOMPARE(name("txtunitlist"), QString("Unit list"));
        w->click("optscore");
        QCOMPARE(name("txtoreamount"), QString("How many points per kill?"));
        w->click("optswitch");
        QCOMPARE(name("txtoreamount"), QString("Set what switch number?"));

        QVERIFY2(w->waitForTicks(1), kTimerStopped);
        QAccessibleInterface* create = QAccessible::queryAccessibleInterface(w->get("cmdcreate"));
        QCOMPARE(create->text(QAccessible::Description), w->get("cmdcreate")->toolTip());
        QVERIFY2(create->text(QAccessible::Description).contains("How often does it fire?"),
                 qPrintable(create->text(QAccessible::Description)));
    }

    // Action types.

    void actionTypeReshapesTheActionsFrame_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("scoreKinds");
        QTest::addColumn<bool>("gas");
        QTest::newRow("optscore") << 7 << "How many points per kill?" << true << false;
        QTest::newRow("optswitch") << 3 << "Set what switch number?" << false << false;
        QTest::newRow("optcash") << 7 << "How much ore per kill?" << false << true;
    }
    void actionTypeReshapesTheActionsFrame() {
        QFETCH(int, limit);
        QFETCH(QString, caption);
        QFETCH(bool, scoreKinds);
        QFETCH(bool, gas);
        const QString button = QTest::currentDataTag();
        if (button == "optcash") {
            w->click("optscore");
        }
        w->type("txtoreamount", "12");
        w->click(button);
        QVERIFY(w->get<QRadioButton>(button)->isChecked());
        QCOMPARE(w->box("txtoreamount")->characterLimit(), limit);
        QCOMPARE(w->get<QLabel>("lblorescore")->text(), caption);
        for (int i = 1; i <= 8; ++i) {
            QCOMPARE(w->get(QString("Option%1").arg(i))->isVisible(), scoreKinds);
        }
        QCOMPARE(w->get("lblvanish")->isVisible(), gas);
        QCOMPARE(w->get("txtgasamount")->isVisible(), gas);
        QCOMPARE(w->text("txtoreamount"), QString()); // an amount never carries over
    }

    void keyboardAndProgramSelectionsRunTheHandlersToo() {
        QTest::mouseClick(w->get("optcash"), Qt::LeftButton);
        QTest::keyClick(w->get("optcash"), Qt::Key_Right);
        QVERIFY(w->get<QRadioButton>("optscore")->isChecked());
        QVERIFY2(w->get("Option1")->isVisible(), "the arrow key's selection shows the kinds");
        w->get<QRadioButton>("optswitch")->setChecked(true);
        QCOMPARE(w->get<QLabel>("lblorescore")->text(), QString("Set what switch number?"));
        QVERIFY(w->get("Option1")->isHidden());
    }

    void switchNumberStaysWithin256_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("shown"); // after each key
        QTest::newRow("300") << "300" << QStringList{"3", "30", "256"};
        QTest::newRow("256") << "256" << QStringList{"2", "25", "256"};
        QTest::newRow("257") << "257" << QStringList{"2", "25", "256"};
        QTest::newRow("1e3") << "1e3" << QStringList{"1", "1e", "256"};
        QTest::newRow("limit 3") << "1234" << QStringList{"1", "12", "123", "123"};
    }
    void switchNumberStaysWithin256() {
        QFETCH(QString, keys);
        QFETCH(QStringList, shown);
        w->click("optswitch");
        QStringList seen;
        for (const QChar key : keys) {
            w->type("txtoreamount", key);
            seen << w->text("txtoreamount");
        }
        QCOMPARE(seen, shown);
        if (seen.last() == "256") {
            QCOMPARE(w->box("txtoreamount")->cursorPosition(), 3);
        }
    }

    void moneyAndScoreAmountsAreNotBounded() {
        w->type("txtoreamount", "3000000");
        QCOMPARE(w->text("txtoreamount"), QString("3000000"));
        w->click("optscore");
        w->type("txtoreamount", "99999999");
        QCOMPARE(w->text("txtoreamount"), QString("9999999"));
    }

    void unitNumberStaysWithinTheList_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("expected");
        QTest::newRow("233") << "233"
                             << "230";
        QTest::newRow("999") << "999"
                             << "230";
        QTest::newRow("232") << "232"
                             << "232";
        QTest::newRow("231") << "231"
                             << "231";
        QTest::newRow("0") << "0"
                           << "0";
        QTest::newRow("-5") << "-5"
                            << "-5";
        QTest::newRow("abc") << "abc"
                             << "abc";
    }
    void unitNumberStaysWithinTheList() {
        QFETCH(QString, keys);
        QFETCH(QString, expected);
        w->clear("txtunittype");
        w->type("txtunittype", keys);
        QCOMPARE(w->text("txtunittype"), expected);
        if (expected == "230") {
            QCOMPARE(w->box("txtunittype")->cursorPosition(), 3);
        }
    }

    void gasAmountComesBackWithMoney() {
        w->type("txtoreamount", "500");
        w->type("txtgasamount", "20");
        w->click("optswitch");
        QCOMPARE(w->text("txtoreamount"), QString());
        QVERIFY2(w->get("txtgasamount")->isHidden() && w->get("lblvanish")->isHidden(),
                 "the gas label and box are hidden");
        w->click("optcash");
        QCOMPARE(w->text("txtoreamount"), QString());
        QCOMPARE(w->text("txtgasamount"), QString("20"));
        QVERIFY(w->get("txtgasamount")->isVisible());
    }

    void scoreKindSurvivesWhileHidden() {
        w->click("optscore");
        w->click("Option5");
        w->click("optcash");
        w->click("optscore");
        QVERIFY(w->get<QRadioButton>("Option5")->isChecked());
        QVERIFY(!w->get<QRadioButton>("Option1")->isChecked());
    }

    // The readiness poll.

    void createFollowsTheInputsWithinATick_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("texts"); // kill step, maximum, unit, amount, gas
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<bool>("enabled");
        const QStringList all{"5", "50", "0", "100", "20"};
        QTest::newRow("all filled, Player 1") << "optcash" << all << QStringList{"chkp1"} << true;
        QTest::newRow("nothing ticked") << "optcash" << all << QStringList{} << false;
        QTest::newRow("All Players alone") << "optcash" << all << QStringList{"chkap"} << true;
        QTest::newRow("Force 4 alone") << "optcash" << all << QStringList{"chkf4"} << true;
        QTest::newRow("greyed Player 3") << "optcash" << all << QStringList{"grey:chkp3"} << true;
        QTest::newRow("gas only") << "optcash" << QStringList{"5", "50", "0", "", "50"}
                                  << QStringList{"chkp1"} << true;
        QTest::newRow("no ore, no gas")
            << "optcash" << QStringList{"5", "50", "0", "", ""} << QStringList{"chkp1"} << false;
        QTest::newRow("switch, hidden gas")
            << "optswitch" << QStringList{"5", "50", "0", "", "7"} << QStringList{"chkp1"} << true;
        QTest::newRow("unit emptied")
            << "optcash" << QStringList{"5", "50", "", "100", ""} << QStringList{"chkp1"} << false;
        QTest::newRow("kill step a blank")
            << "optcash" << QStringList{" ", "50", "0", "1", ""} << QStringList{"chkp1"} << true;
        QTest::newRow("no maximum")
            << "optcash" << QStringList{"5", "", "0", "1", ""} << QStringList{"chkp1"} << false;
    }
    void createFollowsTheInputsWithinATick() {
        QFETCH(QString, action);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, ticked);
        QFETCH(bool, enabled);
        w->type("txtgasamount", texts[4]); // typed first: Switch hides the box
        w->click(action);
        const QStringList boxes{"txtkillamount", "txtkillsupto", "txtunittype", "txtoreamount"};
        for (int i = 0; i < boxes.size(); ++i) {
            w->clear(boxes[i]);
            w->type(boxes[i], texts[i]);
        }
        for (const QString& name : ticked) {
            if (name.startsWith("grey:")) {
                w->get<QCheckBox>(name.mid(5))->setCheckState(Qt::PartiallyChecked);
            } else {
                w->click(name);
            }
        }
        QVERIFY2(w->waitForTicks(1), kTimerStopped);
        QCOMPARE(w->createEnabled(), enabled);
        if (enabled && ticked == QStringList{"chkp1"}) {
            w->click("chkp1");
            QVERIFY2(w->waitForTicks(1), kTimerStopped);
            QVERIFY2(!w->createEnabled(), "clearing the only tick disables Create again");
        }
    }

    // Help and About.

    void helpShowsItsElevenLines() {
        QTest::keyClick(w->box("txtkillamount"), Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(w->platform.messages.size(), std::size_t{1});
        const MessageRequest& box = w->platform.messages[0];
        QCOMPARE(box.title, QString("Help"));
        QCOMPARE(box.buttons, MessageButtons::Ok);
        QCOMPARE(box.icon, MessageIcon::None);
        const QStringList lines = box.text.split("\r\n");
        QCOMPARE(lines.size(), 11);
        QCOMPARE(box.text.count('\n'), 10);
        QCOMPARE(box.text.count('\r'), 10);
        QCOMPARE(lines[0], QString("The first RADIO buttons near the top right decide to add "
                                   "score, cash, or set a switch for kills."));
        QVERIFY2(!lines[3].endsWith('.'), "line 4 has never had a full stop");
        QCOMPARE(lines[10], QString("Last, but not least the QUIT button will exit the program."));
    }

    void aboutShowsSevenLinesWithTheBuiltAddresses() {
        // Through the menu by its access keys, from the unit list.
        QTest::mouseClick(w->get<UnitList>("txtunitlist")->viewport(), Qt::LeftButton);
        QTest::keyClick(&w->form, Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_A);
        QTRY_COMPARE(w->platform.messages.size(), std::size_t{1});
        const MessageRequest& box = w->platform.messages[0];
        QCOMPARE(box.title, QString("Tallyforge"));
        QCOMPARE(box.icon, MessageIcon::None);
        const QStringList lines = box.text.split("\r\n");
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines.count(QString()), 3);
        QCOMPARE(lines[0], "Tallyforge V" + builtVersion());
        QVERIFY2(lines[2].contains(".  "), "two blanks after the credit's first full stop");
        QCOMPARE(lines[4], "For the most recent versions visit " + builtWebAddress());
        QCOMPARE(lines[6], "Send feedback, suggestions, bugs, hatemail, or just praise to " +
                               builtContactAddress() + ".");
        // Ctrl+A is About even in a number box, where it would select all.
        QTest::keyClick(w->box("txtkillamount"), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w->platform.messages.size(), std::size_t{2});
    }

    void helpAndAboutLeaveEveryControlAsItWas() {
        w->click("optscore");
        w->click("Option7");
        w->type("txtkillamount", "5");
        w->type("txtkillsupto", "50");
        w->type("txtoreamount", "9");
        w->click("chkf2");
        QVERIFY2(w->waitForTicks(1), kTimerStopped);
        const QStringList before = snapshot(w->form);
        QTest::keyClick(w->box("txtkillsupto"), Qt::Key_H, Qt::ControlModifier);
        QTest::keyClick(w->box("txtkillsupto"), Qt::Key_A, Qt::ControlModifier);
        QVERIFY2(w->waitForTicks(1), kTimerStopped);
        QCOMPARE(w->platform.messages.size(), std::size_t{2});
        QCOMPARE(snapshot(w->form), before);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
