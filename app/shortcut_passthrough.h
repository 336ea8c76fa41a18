#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>

// Lets the window's own shortcuts win over the key bindings of a text box.
// Qt's text boxes claim Ctrl+A (select all) before any shortcut sees it; the
// window gives Ctrl+A to its About item, as it always has, so the boxes that
// watch through this filter leave such keys to the window.
class ShortcutPassthrough : public QObject {
    Q_OBJECT

  public:
    ShortcutPassthrough(QList<QKeySequence> windowKeys, QObject* parent);

    // Hands the listed keys of this widget to the window's shortcuts.
    void watch(QObject* widget) { widget->installEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QList<QKeySequence> keys_;
};
