#pragma once

#include "app/frm_tallyforge.h"
#include "app/number_box.h"
#include "scratch_settings.h"
#include "scripted_platform.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// The window with a scripted platform, driven through the mouse and keyboard.
struct WindowDriver {
    // fresh: the window starts from empty settings, as on a first run.
    explicit WindowDriver(bool fresh = true) : settings(fresh) {}

    ScratchSettings settings;
    ScriptedPlatform platform;
    frmTallyforge form{platform};

    bool show() {
        form.show();
        return QTest::qWaitForWindowActive(&form);
    }

    template <typename T = QWidget> T* get(const QString& name) const {
        return form.findChild<T*>(name);
    }
    NumberBox* box(const QString& name) const { return get<NumberBox>(name); }
    QString text(const QString& name) const { return box(name)->text(); }

    // Clicks into the box, goes to the end of its text and types the keys.
    void type(const QString& name, const QString& keys) const {
        NumberBox* target = box(name);
        QTest::mouseClick(target, Qt::LeftButton);
        QTest::keyClick(target, Qt::Key_End);
        QTest::keyClicks(target, keys);
    }
    // Selects everything in the box and deletes it.
    void clear(const QString& name) const {
        NumberBox* target = box(name);
        QTest::mouseClick(target, Qt::LeftButton);
        QTest::keyClick(target, Qt::Key_End);
        QTest::keyClick(target, Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(target, Qt::Key_Delete);
    }
    // Clicks a button; check boxes and option buttons on their mark, since
    // their caption may be narrower than the control.
    void click(const QString& name) const {
        auto* button = get<QAbstractButton>(name);
        const bool marked = button->inherits("QCheckBox") || button->inherits("QRadioButton");
        QTest::mouseClick(button, Qt::LeftButton, {},
                          marked ? QPoint(7, button->height() / 2) : button->rect().center());
    }

    // Types the texts (kill step, maximum, unit, amount, gas; "\r\n" is the
    // Enter key), selects the action type and ticks the marks ("grey:" sets
    // the third state, which only the program can).
    void fill(const QString& action, const QStringList& texts, const QStringList& marks) const {
        const QStringList boxes{"txtkillamount", "txtkillsupto", "txtunittype", "txtoreamount",
                                "txtgasamount"};
        type("txtgasamount", texts[4]);
        click(action);
        for (int i = 0; i < 4; ++i) {
            clear(boxes[i]);
            const QStringList parts = texts[i].split("\r\n");
            for (int p = 0; p < parts.size(); ++p) {
                if (p > 0) {
                    QTest::keyClick(box(boxes[i]), Qt::Key_Return);
                }
                type(boxes[i], parts[p]);
            }
        }
        for (const QString& mark : marks) {
            if (mark.startsWith("grey:")) {
                get<QCheckBox>(mark.mid(5))->setCheckState(Qt::PartiallyChecked);
            } else {
                click(mark);
            }
        }
    }

    // Chooses a command of the File menu once the poll has enabled it.
    bool chooseFileCommand(const QString& name) const {
        auto* action = get<QAction>(name);
        if (!action || !QTest::qWaitFor([action] { return action->isEnabled(); }, 5000)) {
            return false;
        }
        action->trigger();
        return true;
    }

    // Lets Timer1 tick n more times; false if it stopped ticking.
    bool waitForTicks(int n) const {
        QSignalSpy ticks(get<QTimer>(QStringLiteral("Timer1")), &QTimer::timeout);
        return QTest::qWaitFor([&] { return ticks.count() >= n; }, 5000);
    }
    bool createEnabled() const { return get(QStringLiteral("cmdcreate"))->isEnabled(); }
    // Presses Create once the poll has enabled it; false if it never does.
    bool pressCreate() const {
        if (!QTest::qWaitFor([this] { return createEnabled(); }, 5000)) {
            return false;
        }
        click(QStringLiteral("cmdcreate"));
        return true;
    }
};

// What a failed wait of the driver means, for the checks around it.
inline constexpr char kCreateNeverEnabled[] = "Create was not enabled within 5 seconds";
inline constexpr char kTimerStopped[] = "Timer1 stopped ticking";

// The bytes of a file, or "(missing)" when it cannot be read.
QByteArray contents(const QString& path);

// The frame of every window test: before each test function a shown window
// and an empty scratch folder, after it neither.
class WindowTestCase : public QObject {
    Q_OBJECT

  protected:
    std::unique_ptr<WindowDriver> w;
    std::unique_ptr<QTemporaryDir> dir;

    QString at(const QString& name) const { return dir->filePath(name); }
    // Every name in the scratch folder, hidden ones included.
    QStringList files() const {
        return QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

  private slots:
    void init();
    void cleanup();
};
