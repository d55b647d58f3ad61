// The main window's zoom, display and side-panel commands: the zoom buttons and the wheel, the
// help page, dragging the side panel, and the hint that the panels hide.
#include "app/desktop.h"
#include "app/error_boundary.h"
#include "app/form1.h"
#include "app/mouse_press.h"
#include "ui_form1.h"
#include "viewer/view_navigation.h"

#include <QMouseEvent>
#include <QWheelEvent>

namespace nocturo {

namespace {

bool isMouse(const QEvent* event) {
    const QEvent::Type t = event->type();
    return isPress(event) || t == QEvent::MouseButtonRelease || t == QEvent::MouseMove;
}

}  // namespace

void TForm1::connectZoomHandlers() {
    // Moves without a button: the readout and the hint follow the pointer, the side panel and
    // the button bar hide the hint.
    setMouseTracking(true);
    ui->Panel1->setMouseTracking(true);
    ui->Panel8->setMouseTracking(true);
    for (QWidget* w : {static_cast<QWidget*>(ui->Panel1), static_cast<QWidget*>(ui->Panel8),
                       static_cast<QWidget*>(ui->Panel9)})
        w->installEventFilter(this);
    connectGuarded(ui->Button10, &QPushButton::clicked, this, [this] { Button10Click(); });
    connectGuarded(ui->Button9, &QPushButton::clicked, this, [this] { Button9Click(); });
    connectGuarded(ui->Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
    connectGuarded(ui->Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
}

bool TForm1::filterZoomEvent(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (!isMouse(event)) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint p = mouse->position().toPoint();

    if (watched == ui->Panel9) {
        if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton && ui->Panel9->rect().contains(p))
            guarded([this] { Panel9Click(); });
        return type != QEvent::MouseMove;
    }
    // Events that reach the panels from their controls stay there, off the picture's gestures;
    // only the panels' free surface (or a drag in progress) runs their own handlers.
    if (watched == ui->Panel1) {
        const bool freeSurface = ui->Panel1->childAt(p) == nullptr;
        if (isPress(event)) {
            if (freeSurface) {
                const Qt::MouseButton button = mouse->button();
                guarded([this, button, p] { Panel1MouseDown(button, p.x(), p.y()); });
            }
        } else if (type == QEvent::MouseMove) {
            if (freeSurface || st.PanelDragX > 0) guarded([this, p] { Panel1MouseMove(p.x(), p.y()); });
        } else {
            guarded([this] { Panel1MouseUp(); });
        }
        return true;
    }
    if (watched == ui->Panel8) {
        if (type == QEvent::MouseMove && ui->Panel8->childAt(p) == nullptr) guarded([this] { Panel8MouseMove(); });
        return true;
    }
    return false;
}

void TForm1::wheelEvent(QWheelEvent* event) {
    // A purely horizontal scroll is no wheel turn: it would otherwise zoom out.
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    guarded([this, delta] { FormMouseWheel(delta); });
    event->accept();
}

void TForm1::Button10Click() {
    st.ZoomFactor = ZoomInStep(st.ZoomFactor, st.View.FitScale);
    RedrawView();
}

void TForm1::Button9Click() {
    st.ZoomFactor = ZoomOutStep(st.ZoomFactor);
    RedrawView();
}

void TForm1::FormMouseWheel(int delta) {
    st.ZoomFactor = WheelZoomStep(st.ZoomFactor, delta, st.View.FitScale);
    RedrawView();
}

void TForm1::Button8Click() {
    st.ZoomFactor = kFitZoom;
    RedrawView();
}

void TForm1::Button6Click() {
    st.ZoomFactor = OneToOneZoom(st.View);
    RedrawView();
}

void TForm1::Panel9Click() { documentOpener()(installedDocumentPath(QStringLiteral("help/index.html"))); }

void TForm1::Panel1MouseDown(Qt::MouseButton button, int X, int Y) {
    if (button != Qt::LeftButton) return;
    // The drag starts from where the panel is shown: start-up and resizes place it without
    // touching the stored position, which would otherwise make it jump.
    st.PanelLeft = ui->Panel1->x();
    st.PanelTop = ui->Panel1->y();
    st.PanelDragX = X;
    st.PanelDragY = Y;
}

void TForm1::Panel1MouseMove(int X, int Y) {
    ui->ListBox1->hide();
    ui->Label7->hide();
    if (st.PanelDragX > 0) {
        st.PanelLeft += X - st.PanelDragX;
        st.PanelTop += Y - st.PanelDragY;
        ui->Panel1->move(st.PanelLeft, st.PanelTop);
    }
}

void TForm1::Panel1MouseUp() {
    st.PanelDragX = -1;
    st.PanelDragY = -1;
}

void TForm1::Panel8MouseMove() { ui->Label7->hide(); }

}  // namespace nocturo
