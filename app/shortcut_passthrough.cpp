#include "app/shortcut_passthrough.h"

#include <QEvent>
#include <QKeyEvent>

#include <utility>

ShortcutPassthrough::ShortcutPassthrough(QList<QKeySequence> windowKeys, QObject* parent)
    : QObject(parent), keys_(std::move(windowKeys)) {}

bool ShortcutPassthrough::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        if (keys_.contains(pressed)) {
            // Not accepted: the box does not claim the key, the shortcut fires.
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
