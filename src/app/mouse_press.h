// Which mouse button pressed a widget. The second press of a double click counts as a press, as
// a mouse-down handler sees it: a quick second click on a button is a second command.
#pragma once

#include <QEvent>
#include <QMouseEvent>

namespace nocturo {

// The button of a press (or of a double click's second press); Qt::NoButton for any other event.
inline Qt::MouseButton pressedButton(const QEvent* event) {
    const QEvent::Type t = event->type();
    if (t != QEvent::MouseButtonPress && t != QEvent::MouseButtonDblClick) return Qt::NoButton;
    return static_cast<const QMouseEvent*>(event)->button();
}

inline bool isPress(const QEvent* event) { return pressedButton(event) != Qt::NoButton; }

// The buttons that command something: left, right and middle ("other" means right or middle).
// The back, forward and further buttons of a mouse do nothing anywhere in the program.
inline bool isCommandButton(Qt::MouseButton button) {
    return button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton;
}

}  // namespace nocturo
