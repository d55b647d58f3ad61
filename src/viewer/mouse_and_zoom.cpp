// The main window's mouse gestures on the picture and its zoom, display and side-panel commands.
#include "app/form1.h"
#include "extract/processing.h"
#include "ui_form1.h"
#include "app/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QUrl>
#include <QWheelEvent>

#include <cmath>

namespace nocturo {

namespace {

constexpr int kNoAnchor = -10;

int clampTo(int value, int low, int high) {
    if (value > high) value = high;
    if (value < low) value = low;
    return value;
}

// The band's outline through both corner points, with one pixel to spare for the pen.
QRect bandArea(int x1, int y1, int x2, int y2) {
    return QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)))
        .adjusted(-1, -1, 1, 1);
}

// Stores a zoom factor computed in double as the 32-bit value the view works with.
float stored(double value) { return static_cast<float>(value); }

// The zoom-in bound: at most 10 window pixels per picture pixel.
void capZoom(ProgramState& st) {
    const float fit = st.View.FitScale;
    if (fit <= 0.0f) return;
    if (stored(static_cast<double>(st.ZoomFactor) * fit) > 10.0f) st.ZoomFactor = stored(10.0 / fit);
}

// Shows the button bar and forgets the pan anchor however the release handler ends.
struct ReleaseEnd {
    TForm1& form;
    ~ReleaseEnd() {
        form.ui->Panel8->show();
        form.st.PanAnchorX = kNoAnchor;
        form.st.PanAnchorY = kNoAnchor;
    }
};

bool isPress(QEvent::Type t) { return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick; }

bool isMouse(QEvent::Type t) { return isPress(t) || t == QEvent::MouseButtonRelease || t == QEvent::MouseMove; }

}  // namespace

void TForm1::connectViewerHandlers() {
    // Moves without a button: the readout and the hint follow the pointer, the side panel and
    // the button bar hide the hint.
    setMouseTracking(true);
    ui->Panel1->setMouseTracking(true);
    ui->Panel8->setMouseTracking(true);
    for (QWidget* w : {static_cast<QWidget*>(ui->Panel1), static_cast<QWidget*>(ui->Panel8),
                       static_cast<QWidget*>(ui->Panel9)})
        w->installEventFilter(this);
    connect(ui->Button10, &QPushButton::clicked, this, [this] { guarded([this] { Button10Click(); }); });
    connect(ui->Button9, &QPushButton::clicked, this, [this] { guarded([this] { Button9Click(); }); });
    connect(ui->Button8, &QPushButton::clicked, this, [this] { guarded([this] { Button8Click(); }); });
    connect(ui->Button6, &QPushButton::clicked, this, [this] { guarded([this] { Button6Click(); }); });
}

bool TForm1::filterViewerEvent(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (!isMouse(type)) return false;
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
        if (isPress(type)) {
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

void TForm1::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    const Qt::KeyboardModifiers shift = event->modifiers();
    const QPoint p = event->position().toPoint();
    guarded([this, button, shift, p] { FormMouseDown(button, shift, p.x(), p.y()); });
    event->accept();
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    const Qt::KeyboardModifiers shift = event->modifiers();
    const QPoint p = event->position().toPoint();
    guarded([this, shift, p] { FormMouseMove(shift, p.x(), p.y()); });
    event->accept();
}

void TForm1::mouseReleaseEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    const Qt::KeyboardModifiers shift = event->modifiers();
    const QPoint p = event->position().toPoint();
    guarded([this, button, shift, p] { FormMouseUp(button, shift, p.x(), p.y()); });
    event->accept();
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

void TForm1::FormMouseDown(Qt::MouseButton, Qt::KeyboardModifiers shift, int X, int Y) {
    if (!(shift & Qt::ShiftModifier)) {
        st.PanAnchorX = X;
        st.PanAnchorY = Y;
        return;
    }
    st.BandStartX = st.BandEndX = X;
    st.BandStartY = st.BandEndY = Y;
    st.BandActive = true;
    update(bandArea(st.BandStartX, st.BandStartY, st.BandEndX, st.BandEndY));
    ui->Panel8->hide();
}

void TForm1::FormMouseMove(Qt::KeyboardModifiers shift, int X, int Y) {
    ViewState& v = st.View;
    const int W = v.ViewImageWidth, H = v.ViewImageHeight;
    const int px = clampTo(PictureColumnAt(v, X), 0, W - 1);
    const int py = clampTo(PictureRowAt(v, Y), 0, H - 1);
    ui->Label6->setText(QStringLiteral("原画の\u3000X=") + QString::number(px) + QStringLiteral("   Y=") +
                        QString::number(py));
    ui->Label6->adjustSize();
    ui->ListBox1->hide();

    if (shift & Qt::ShiftModifier) {
        if (st.BandActive) {
            update(bandArea(st.BandStartX, st.BandStartY, st.BandEndX, st.BandEndY));
            st.BandEndX = X;
            st.BandEndY = Y;
            update(bandArea(st.BandStartX, st.BandStartY, st.BandEndX, st.BandEndY));
        }
        return;
    }

    if (st.PanAnchorX > -1 && st.PanAnchorY > -1 && st.ZoomFactor > 1.0f) {
        const double s = v.ViewScale;
        int left = static_cast<int>(std::trunc(v.ViewSrcLeft - (X - st.PanAnchorX) / s));
        if (left < 0) left = 0;
        if (left + v.ViewSrcWidth > W) left = W - v.ViewSrcWidth;
        int top = static_cast<int>(std::trunc(v.ViewSrcTop - (Y - st.PanAnchorY) / s));
        if (top < 0) top = 0;
        if (top + v.ViewSrcHeight > H) top = H - v.ViewSrcHeight;
        v.ShownSrcLeft = left;
        v.ShownSrcTop = top;
        DrawShownRegion();
        PlaceNavigatorFrame();
    }

    const int CH = height();
    if (X < st.HintRightLimit && X > 50 && Y > 50 && Y < CH - 50) {
        QString text = v.ViewScale > 1.0f ? QStringLiteral("左ドラッグで移動    /   ") : QString();
        text += QStringLiteral(" マウスホイールで拡大or縮小   /    Shift + 左でラッグでドラッグ範囲描画\u3000 /    "
                               "Shift + 右ドラッグでドラッグ範囲原画復元  ");
        QLabel* label7 = ui->Label7;
        label7->setText(text);
        label7->adjustSize();
        int L = static_cast<int>(std::trunc((st.HintRightLimit - label7->width()) / 2.0));
        if (L < 10) L = 10;
        const QLabel* label6 = ui->Label6;
        const int top = L < label6->x() + label6->width() + 10 ? CH - 18 : 3;
        label7->move(L, top);
        label7->show();
    } else {
        ui->Label7->hide();
    }
}

void TForm1::FormMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) {
    const ReleaseEnd end{*this};
    if (!st.BandActive) {
        ViewState& v = st.View;
        v.ViewSrcLeft = v.ShownSrcLeft;
        v.ViewSrcTop = v.ShownSrcTop;
        v.ViewCentreX = static_cast<int>(std::trunc(v.ShownSrcLeft + v.ViewSrcWidth / 2.0));
        v.ViewCentreY = static_cast<int>(std::trunc(v.ShownSrcTop + v.ViewSrcHeight / 2.0));
        return;
    }
    st.BandActive = false;
    update(bandArea(st.BandStartX, st.BandStartY, st.BandEndX, st.BandEndY));
    if (!(shift & Qt::ShiftModifier)) return;

    const int left = std::min(st.BandStartX, X), right = std::max(st.BandStartX, X);
    const int top = std::min(st.BandStartY, Y), bottom = std::max(st.BandStartY, Y);
    const int strip = st.ShotDataStrip > 0 ? kShotDataStripRows : 0;
    const ViewState& v = st.View;
    const int W = v.ViewImageWidth, H = v.ViewImageHeight;
    const int pl = clampTo(PictureColumnAt(v, left), 0, W - 1);
    const int pr = clampTo(PictureColumnAt(v, right), 0, W - 1);
    const int pt = clampTo(PictureRowAt(v, top), 0, H - strip - 1);
    const int pb = clampTo(PictureRowAt(v, bottom), 0, H - strip - 1);
    st.Proc = rangeRect(pl, pt, pr, pb);
    clearMarks(st.MarkImage, st.Proc);
    if (st.Proc.ProcWidth > 2 && st.Proc.ProcHeight > 2) {
        if (button == Qt::LeftButton)
            ProcessRectangle();
        else
            RestoreRectangle();
    }
}

void TForm1::Button10Click() {
    st.ZoomFactor = stored(st.ZoomFactor * 1.1);
    capZoom(st);
    RedrawView();
}

void TForm1::Button9Click() {
    st.ZoomFactor = stored(st.ZoomFactor / 1.1);
    if (!(st.ZoomFactor >= 1.0f)) st.ZoomFactor = 1.0f;
    RedrawView();
}

void TForm1::FormMouseWheel(int delta) {
    st.ZoomFactor = stored(delta > 0 ? st.ZoomFactor * 1.05 : st.ZoomFactor / 1.05);
    if (!(st.ZoomFactor >= 1.0f)) st.ZoomFactor = 1.0f;
    capZoom(st);
    RedrawView();
}

void TForm1::Button8Click() {
    st.ZoomFactor = 1.0f;
    RedrawView();
}

void TForm1::Button6Click() {
    st.ZoomFactor = stored(static_cast<double>(st.View.InverseFitScale) + 0.001);
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
