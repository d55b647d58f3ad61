// The main window's mouse gestures on the picture and its zoom, display and side-panel commands.
#include "app/form1.h"
#include "ui_form1.h"

#include <QMouseEvent>
#include <QWheelEvent>

namespace nocturo {

void TForm1::connectViewerHandlers() {}
bool TForm1::filterViewerEvent(QObject*, QEvent*) { return false; }

void TForm1::mousePressEvent(QMouseEvent* event) { QWidget::mousePressEvent(event); }
void TForm1::mouseMoveEvent(QMouseEvent* event) { QWidget::mouseMoveEvent(event); }
void TForm1::mouseReleaseEvent(QMouseEvent* event) { QWidget::mouseReleaseEvent(event); }
void TForm1::wheelEvent(QWheelEvent* event) { QWidget::wheelEvent(event); }

void TForm1::FormMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TForm1::FormMouseMove(Qt::KeyboardModifiers, int, int) {}
void TForm1::FormMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TForm1::Button10Click() {}
void TForm1::Button9Click() {}
void TForm1::FormMouseWheel(int) {}
void TForm1::Button8Click() {}
void TForm1::Button6Click() {}
void TForm1::Panel9Click() {}
void TForm1::Panel1MouseDown(Qt::MouseButton, int, int) {}
void TForm1::Panel1MouseMove(int, int) {}
void TForm1::Panel1MouseUp() {}
void TForm1::Panel8MouseMove() {}

}  // namespace nocturo
