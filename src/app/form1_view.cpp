// The main window's view: the one place where the transform is computed, the back buffer and
// its painting, the layout on resize, and the display switches of the processed state.
#include "app/error_boundary.h"
#include "app/form1.h"
#include "ui_form1.h"
#include "viewer/stretch.h"

#include <QPainter>

#include <algorithm>

namespace nocturo {

void TForm1::RedrawView() {
    st.InvertDisplay = ui->CheckBox1->isChecked() ? 1 : 0;
    const WorkImage& picture = st.DisplayMode == 1 ? st.SourceImage : st.ProcessedImage;
    if (picture.isNull() || isMinimized()) return;
    // Too small a window keeps the previous transform and buffer: nothing to divide by.
    if (!ComputeViewTransform(st.View, width(), height(), ui->Panel1->width(), st.SourceImage.width(),
                              st.SourceImage.height(), st.ZoomFactor))
        return;
    RenderView(picture, ViewShowsInverted(st.DisplayMode, st.InvertDisplay), st.View, st.ViewBuffer, width(), height());
    update();
    PlaceNavigatorFrame();
}

void TForm1::DrawShownRegion() {
    const WorkImage& picture = st.DisplayMode == 1 ? st.SourceImage : st.ProcessedImage;
    if (picture.isNull() || st.ViewBuffer.isNull()) return;
    RenderShownRegion(picture, ViewShowsInverted(st.DisplayMode, st.InvertDisplay), st.View, st.ViewBuffer);
    update();
}

void TForm1::FormPaint() {
    if (st.ViewBuffer.isNull()) return;
    QPainter painter(this);
    // A block copy at logical coordinates; on a high-DPI screen the buffer's pixels are
    // repeated, never smoothed, so the picture stays sharp.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QPoint(st.View.ViewOriginX, st.View.ViewOriginY), st.ViewBuffer.wrap());
    // The Shift-drag band lies over the buffer only while the gesture runs; the next paint
    // without it leaves the buffer alone on the screen.
    if (st.BandActive) {
        QPen pen(QColor(255, 0, 0), 1, Qt::DotLine);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const QPoint a(std::min(st.BandStartX, st.BandEndX), std::min(st.BandStartY, st.BandEndY));
        const QPoint b(std::max(st.BandStartX, st.BandEndX), std::max(st.BandStartY, st.BandEndY));
        painter.drawRect(QRect(a, QSize(b.x() - a.x(), b.y() - a.y())));
    }
}

void TForm1::paintEvent(QPaintEvent*) { FormPaint(); }

void TForm1::FormResize() {
    ui->Panel1->move(width() - ui->Panel1->width() - 5, 20);
    ui->ListBox1->move(ui->Panel1->x() - ui->ListBox1->width() - 5, st.ThumbTop + 20);
    ui->Panel8->move(5, 5);
    st.HintRightLimit = ui->Panel1->x() - 20;
    RedrawView();
}

void TForm1::resizeEvent(QResizeEvent*) {
    guarded([this] { FormResize(); });
}

void TForm1::connectViewHandlers() {
    // A radio button checked by the user or by the program runs its click handler.
    connectChecked(ui->RadioButton3, this, [this] { RadioButton3Click(); });
    connectChecked(ui->RadioButton4, this, [this] { RadioButton4Click(); });
    connectGuarded(ui->CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
}

void TForm1::RadioButton3Click() {
    ui->CheckBox1->setEnabled(ui->RadioButton4->isChecked());
    st.DisplayMode = 1;
    RedrawView();
}

void TForm1::RadioButton4Click() {
    ui->CheckBox1->setEnabled(ui->RadioButton4->isChecked());
    st.DisplayMode = 2;
    RedrawView();
}

void TForm1::CheckBox1Click() { RedrawView(); }

}  // namespace nocturo
