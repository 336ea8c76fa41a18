#pragma once

#include "frm_tallyforge.h"
#include "number_box.h"
#include "scripted_platform.h"

#include <QAbstractButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// The window with a scripted platform, driven through the mouse and keyboard.
struct WindowDriver {
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
