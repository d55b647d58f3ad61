// The main window's mouse gestures on the picture: the position readout and the hint, the pan of
// a magnified picture, and the Shift-drag range draw and restore with its band.
#include "app/form1.h"
#include "app/mouse_press.h"
#include "extract/processing.h"
#include "ui_form1.h"
#include "viewer/view_navigation.h"

#include <QMouseEvent>

#include <algorithm>
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

// Shows the button bar and forgets the pan anchor however the release handler ends.
struct ReleaseEnd {
    TForm1& form;
    ~ReleaseEnd() {
        form.ui->Panel8->show();
        form.st.PanAnchorX = kNoAnchor;
        form.st.PanAnchorY = kNoAnchor;
    }
};

}  // namespace

void TForm1::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    event->accept();
    // The extra buttons of a mouse start no gesture.
    if (!isCommandButton(button)) return;
    const Qt::KeyboardModifiers shift = event->modifiers();
    const QPoint p = event->position().toPoint();
    guarded([this, button, shift, p] { FormMouseDown(button, shift, p.x(), p.y()); });
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    const Qt::KeyboardModifiers shift = event->modifiers();
    const QPoint p = event->position().toPoint();
    guarded([this, shift, p] { FormMouseMove(shift, p.x(), p.y()); });
    event->accept();
}

void TForm1::mouseReleaseEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    event->accept();
    if (!isCommandButton(button)) return;
    const Qt::KeyboardModifiers shift = event->modifiers();
    const QPoint p = event->position().toPoint();
    guarded([this, button, shift, p] { FormMouseUp(button, shift, p.x(), p.y()); });
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
        PanShownRegion(v, st.PanAnchorX, st.PanAnchorY, X, Y);
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
        CommitShownRegion(st.View);
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


}  // namespace nocturo
