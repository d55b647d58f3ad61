// The navigator thumbnail's clicks: move the view there, or copy the shooting date.
#include "app/form1.h"
#include "ui_form1.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdint>

namespace nocturo {

namespace {

void showMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Nocturo"), text, QMessageBox::Ok, parent);
    box.exec();
}

// The top-left of a visible span of `span` pixels around `centre`, kept inside [0, size).
int placeSpan(int centre, int span, int size) {
    int left = static_cast<int>(centre - span / 2.0);
    if (left < 0) left = 0;
    if (left + span > size) left = size - span;
    return left;
}

}  // namespace

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
    if (v.ViewSrcWidth >= v.ViewImageWidth && v.ViewSrcHeight >= v.ViewImageHeight) return;
    const int w = st.SourceImage.width(), h = st.SourceImage.height();
    if (st.ThumbWidth <= 0 || st.ThumbHeight <= 0 || w <= 0 || h <= 0) return;
    // 64-bit products: a click far outside a large picture's thumbnail must not overflow.
    const int px = static_cast<int>(static_cast<std::int64_t>(X - st.ThumbOffsetX) * w / st.ThumbWidth);
    const int py = static_cast<int>(static_cast<std::int64_t>(Y - st.ThumbOffsetY) * h / st.ThumbHeight);
    v.ShownSrcLeft = placeSpan(px, v.ViewSrcWidth, w);
    v.ShownSrcTop = placeSpan(py, v.ViewSrcHeight, h);
    DrawShownRegion();
    v.ViewSrcLeft = v.ShownSrcLeft;
    v.ViewSrcTop = v.ShownSrcTop;
    v.ViewCentreX = static_cast<int>(v.ShownSrcLeft + v.ViewSrcWidth / 2.0);
    v.ViewCentreY = static_cast<int>(v.ShownSrcTop + v.ViewSrcHeight / 2.0);
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
