// The navigator: the thumbnail of the whole picture beside the shooting-data list, the frame of the
// shown region on it, and its clicks (move the view there, or copy the shooting date).
#include "app/form1.h"
#include "app/mouse_press.h"
#include "ui_form1.h"
#include "viewer/stretch.h"
#include "viewer/view_navigation.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>

namespace nocturo {

namespace {

void showMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Nocturo"), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

void TForm1::connectNavigatorHandlers() {
    ui->Image1->installEventFilter(this);
    // The tooltip follows the pointer over the thumbnail, buttons held or not.
    ui->Image1->setMouseTracking(true);
}

bool TForm1::filterNavigatorEvent(QObject* watched, QEvent* event) {
    if (watched != ui->Image1) return false;
    const QEvent::Type type = event->type();
    const Qt::MouseButton button = pressedButton(event);
    if (button != Qt::NoButton) {
        if (!isCommandButton(button)) return true;
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        guarded([this, button, p] { Image1MouseDown(button, p.x(), p.y()); });
        return true;
    }
    if (type == QEvent::MouseMove) {
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        guarded([this, p] { Image1MouseMove(p.x(), p.y()); });
        return true;
    }
    // The thumbnail's own release: nothing reacts to it, and it must not reach the panel.
    return type == QEvent::MouseButtonRelease;
}

void TForm1::DrawNavigatorThumbnail() {
    const int w = st.SourceImage.width(), h = st.SourceImage.height();
    QLabel* image1 = ui->Image1;
    const int iw = image1->width(), ih = image1->height();
    const ThumbnailPlace place = PlaceThumbnail(w, h, iw, ih);
    st.ThumbWidth = place.ThumbWidth;
    st.ThumbHeight = place.ThumbHeight;
    st.ThumbOffsetX = place.ThumbOffsetX;
    st.ThumbOffsetY = place.ThumbOffsetY;
    st.ThumbLeft = image1->x() + st.ThumbOffsetX;
    st.ThumbTop = image1->y() + st.ThumbOffsetY;
    WorkImage thumb(iw, ih);
    // The panel's colour comes from its style sheet, which it applies only when it is polished:
    // at start-up that has not happened yet.
    ui->Panel1->ensurePolished();
    const QColor panel = ui->Panel1->palette().color(QPalette::Window);
    thumb.fill(makeColor(panel.red(), panel.green(), panel.blue()));
    StretchNearest(st.SourceImage, StretchRect{0, 0, w, h}, thumb,
                   StretchRect{st.ThumbOffsetX, st.ThumbOffsetY, st.ThumbWidth, st.ThumbHeight}, false);
    image1->setPixmap(QPixmap::fromImage(thumb.wrap().copy()));
    st.View.ViewImageWidth = w;
    st.View.ViewImageHeight = h;
    st.ZoomFactor = kFitZoom;
    PlaceNavigatorFrame();
}

void TForm1::PlaceNavigatorFrame() {
    FrameRect f;
    if (!NavigatorFrame(st.View, st.ThumbWidth, st.ThumbHeight, st.ThumbLeft, st.ThumbTop, f)) return;
    ui->Panel3->setGeometry(f.x, f.y, f.width, 1);
    ui->Panel4->setGeometry(f.x, f.y + f.height, f.width, 1);
    ui->Panel5->setGeometry(f.x, f.y, 1, f.height);
    ui->Panel6->setGeometry(f.x + f.width, f.y, 1, f.height);
}

void TForm1::Image1MouseDown(Qt::MouseButton button, int X, int Y) {
    ViewState& v = st.View;
    if (button != Qt::LeftButton) {
        if (st.Shot.HasShotDate > 0) {
            QGuiApplication::clipboard()->setText(st.Shot.ShotDateText);
            showMessage(this, QStringLiteral("クリップボードに日時データをコピーしました\r\n(") + st.Shot.ShotDateText +
                                  QStringLiteral(")"));
        } else {
            showMessage(this, QStringLiteral("日時のデータはありません"));
        }
        return;
    }
    if (ViewShowsWholePicture(v)) return;
    const ThumbnailPlace place{st.ThumbWidth, st.ThumbHeight, st.ThumbOffsetX, st.ThumbOffsetY};
    int px = 0, py = 0;
    if (!ThumbnailToPicture(place, st.SourceImage.width(), st.SourceImage.height(), X, Y, px, py)) return;
    CentreShownRegionAt(v, px, py);
    DrawShownRegion();
    CommitShownRegion(v);
    PlaceNavigatorFrame();
}

void TForm1::Image1MouseMove(int, int) {
    QWidget* list = ui->ListBox1;
    list->move(ui->Panel1->x() - list->width() - 5, st.PanelTop + st.ThumbTop);
    list->show();
    const ViewState& v = st.View;
    const bool hasDate = st.Shot.HasShotDate > 0;
    QString hint;
    if (v.ViewSrcWidth < v.ViewImageWidth || v.ViewSrcHeight < v.ViewImageHeight) {
        hint = QStringLiteral("左クリックで画面表示位置移動");
        if (hasDate) hint += QStringLiteral("/右クリックで日時コピー");
    } else if (hasDate) {
        hint = QStringLiteral("右クリックで日時コピー");
    }
    // An empty hint switches the tooltip off.
    ui->Image1->setToolTip(hint);
}

}  // namespace nocturo
