#include "app/listing_text.h"
#include "app/listing_view.h"
#include "app/qt_platform.h"
#include "scratch_settings.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// A listing of a text already in memory, as Open would have written it.
std::shared_ptr<ListingText> listingOf(const QString& text) {
    auto listing = std::make_shared<ListingText>();
    listing->writer() << text.toStdString();
    listing->finishWriting();
    return listing;
}

} // namespace

// The real Qt dialogues behind the platform layer, answered from inside
// their own modal loops.
class PlatformTest : public QObject {
    Q_OBJECT

    // Runs answer on the modal dialogue of type T once it is shown.
    template <typename T> static void whenShown(std::function<void(T*)> answer) {
        QTimer::singleShot(0, [answer] {
            T* dialog = nullptr;
            const bool shown = QTest::qWaitFor([&] {
                dialog = qobject_cast<T*>(QApplication::activeModalWidget());
                return dialog != nullptr;
            });
            if (shown) {
                answer(dialog);
            }
        });
    }

  private slots:
    void initTestCase() {
        // Windows' native save dialogue runs a loop of its own that no widget
        // of the test can reach; Qt's own dialogue is answered instead (the
        // native one is driven from outside by scripts/windows_app.sh).
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        const ScratchSettings settings(true); // Qt's dialogue keeps its history there
    }

    void messageBoxShowsTheRequestAndReturnsTheButton_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("pressed"); // a Qt standard button, or 0 for Esc
        QTest::addColumn<int>("answer");
        QTest::newRow("OK") << int(MessageButtons::Ok) << int(MessageIcon::None)
                            << int(QMessageBox::Ok) << int(MessageAnswer::Ok);
        QTest::newRow("Yes") << int(MessageButtons::YesNo) << int(MessageIcon::Warning)
                             << int(QMessageBox::Yes) << int(MessageAnswer::Yes);
        QTest::newRow("No") << int(MessageButtons::YesNo) << int(MessageIcon::Warning)
                            << int(QMessageBox::No) << int(MessageAnswer::No);
        QTest::newRow("Esc is No") << int(MessageButtons::YesNo) << int(MessageIcon::Warning) << 0
                                   << int(MessageAnswer::No);
        QTest::newRow("error") << int(MessageButtons::Ok) << int(MessageIcon::Critical)
                               << int(QMessageBox::Ok) << int(MessageAnswer::Ok);
    }
    void messageBoxShowsTheRequestAndReturnsTheButton() {
        QFETCH(int, buttons);
        QFETCH(int, icon);
        QFETCH(int, pressed);
        QFETCH(int, answer);
        const bool yesNo = MessageButtons(buttons) == MessageButtons::YesNo;
        const MessageRequest request{"first line\r\nsecond line", "Title", MessageButtons(buttons),
                                     MessageIcon(icon),
                                     yesNo ? MessageAnswer::No : MessageAnswer::Ok};
        QString seen;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            const QMessageBox::Icon icons[] = {QMessageBox::NoIcon, QMessageBox::Warning,
                                               QMessageBox::Critical};
            seen = box->windowTitle() + "|" + box->text() + "|" +
                   QString::number(box->standardButtons().toInt()) + "|" +
                   QString::number(box->icon() == icons[icon]) + "|" +
                   QString::number(box->defaultButton() ==
                                   box->button(yesNo ? QMessageBox::No : QMessageBox::Ok));
            if (pressed == 0) {
                QTest::keyClick(box, Qt::Key_Escape);
            } else {
                box->button(QMessageBox::StandardButton(pressed))->click();
            }
        });
        QtPlatform platform;
        QCOMPARE(int(platform.showMessage(request)), answer);
        const int standard = yesNo ? int(QMessageBox::Yes | QMessageBox::No) : int(QMessageBox::Ok);
        QCOMPARE(seen, "Title|first line\r\nsecond line|" + QString::number(standard) + "|1|1");
    }

    // A failure names the file; a long name without spaces must wrap inside
    // the box rather than run off its edge, and read the same.
    void aLongNameInAMessageWrapsInsideTheBox() {
#ifdef Q_OS_WIN
        // Under Windows' message-box layout the label's size hint stays the
        // unwrapped width, so this measure cannot tell whether the name wraps.
        QSKIP("the size-hint measure does not apply to Windows' message-box layout");
#endif
        const QString name = "/home/mapper/maps/" + QString(230, 'n') + ".trg";
        const QString text = "Could not write \"" + name + "\": File name too long.";
        QString shown;
        int needed = 0;
        int room = 0;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            if (label) {
                shown = label->text();
                needed = label->sizeHint().width();
                room = label->width();
            }
            box->button(QMessageBox::Ok)->click();
        });
        QtPlatform platform;
        platform.showMessage(MessageRequest{text, "Error: Not created", MessageButtons::Ok,
                                            MessageIcon::Critical, MessageAnswer::Ok});
        QVERIFY2(room > 0, "the box's text was not found");
        QVERIFY2(needed <= room, qPrintable(QStringLiteral("the text needs %1 pixels, the box "
                                                           "gives it %2: the name is cut off")
                                                .arg(needed)
                                                .arg(room)));
        QCOMPARE(shown.remove(QChar(0x200B)), text);
    }

    void saveDialogueOffersTheNameFolderAndFilter() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const SaveRequest request{"Save as", "Triggers.trg", folder.path(),
                                  "Starcraft triggers (*.trg)|*.trg*"};
        QStringList seen;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            seen << dialog->windowTitle() << QDir(dialog->directory()).absolutePath()
                 << dialog->findChild<QLineEdit*>("fileNameEdit")->text()
                 << dialog->findChild<QComboBox*>("fileTypeCombo")->currentText().trimmed()
                 << dialog->findChild<QFileSystemModel*>()->nameFilters()
                 << QString::number(dialog->testOption(QFileDialog::DontConfirmOverwrite));
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            name->selectAll();
            QTest::keyClicks(name, "Map1");
            QTest::keyClick(name, Qt::Key_Return);
        });
        QtPlatform platform;
        const std::optional<QString> chosen = platform.chooseSaveFile(request);
        QCOMPARE(seen, (QStringList{"Save as", QDir(folder.path()).absolutePath(), "Triggers.trg",
                                    "Starcraft triggers (*.trg)", "*.trg*", "1"}));
        QCOMPARE(chosen, std::optional<QString>(QDir(folder.path()).filePath("Map1")));

        // The name chosen last opens in its own folder; cancelling gives nothing.
        QString reopened;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            reopened = QDir(dialog->directory().absolutePath())
                           .filePath(dialog->findChild<QLineEdit*>("fileNameEdit")->text());
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        const SaveRequest again{"Save as", *chosen, QDir::homePath(), request.filter};
        QCOMPARE(platform.chooseSaveFile(again), std::nullopt);
        QCOMPARE(reopened, *chosen);
    }

    // The listing box shows the text read-only but selectable, and has the
    // fill button only when it is offered. A summary line longer than the
    // box is wide is seen whole, without scrolling sideways; screen readers
    // name the box after its dialogue.
    void listingBoxShowsTheTextAndOffersFillOnlyWhenAsked() {
        QtPlatform platform;
        const QString summary = "Triggers 2 to 11: Money: every 5 kills of Zergling (37) up to "
                                "50, 100 ore, Player 1, Player 2, Player 3, Player 4, Player 5, "
                                "Player 6 and Force 2, 10 triggers";
        for (const bool offer : {true, false}) {
            QStringList seen;
            whenShown<QDialog>([&](QDialog* dialog) {
                auto* text = dialog->findChild<QAbstractItemView*>("listing");
                auto* fill = dialog->findChild<QPushButton*>("fill");
                QStringList lines;
                for (int i = 0; i < text->model()->rowCount(); ++i) {
                    lines << text->model()->index(i, 0).data().toString();
                }
                seen << dialog->windowTitle() << lines.join('\n')
                     << QString::number(text->editTriggers() == QAbstractItemView::NoEditTriggers)
                     << QString::number(text->selectionMode() ==
                                        QAbstractItemView::ExtendedSelection)
                     << QString::number(fill != nullptr)
                     << "sideways " + QString::number(text->horizontalScrollBar()->maximum())
                     << text->accessibleName()
                     << QString::number(text->accessibleDescription().contains("summary line"));
                if (fill != nullptr) {
                    fill->click();
                } else {
                    QTest::keyClick(dialog, Qt::Key_Escape);
                }
            });
            const QString listing = "Summary\n" + summary + "\nline 2";
            const ListingAnswer answer = platform.showListing(
                ListingRequest{"Triggers in a.trg", listingOf(listing), offer});
            QCOMPARE(answer, offer ? ListingAnswer::Fill : ListingAnswer::Close);
            QCOMPARE(seen,
                     (QStringList{"Triggers in a.trg", listing, "1", "1", QString::number(offer),
                                  "sideways 0", "Triggers in a.trg", "1"}));
        }
    }

    // Lines are copied whole, in order, from a listing of any length: a
    // short one wraps its long lines, a long one scrolls sideways to them.
    void listingCopiesTheSelectedLines_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("sideways");
        QTest::newRow("short, wrapped") << 600 << false;
        QTest::newRow("long, one line a row") << int(kMostWrappedLines) + 1000 << true;
    }
    void listingCopiesTheSelectedLines() {
        QFETCH(int, lines);
        QFETCH(bool, sideways);
        QString text;
        for (int i = 0; i < lines; ++i) {
            text += i == 3 ? QString(300, 'x') + "\n" : QString("line %1\n").arg(i);
        }
        const std::unique_ptr<QAbstractItemView> shown(makeListingView(listingOf(text)));
        QAbstractItemView& view = *shown;
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                          view.visualRect(view.model()->index(1, 0)).center());
        QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), "line 1\nline 2\n" + QString(300, 'x') + "\n");
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QVERIFY2(QApplication::clipboard()->text() == text, "Ctrl+A, Ctrl+C copies every line");
        QCOMPARE(view.horizontalScrollBar()->maximum() > 0, sideways);
    }
};

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
