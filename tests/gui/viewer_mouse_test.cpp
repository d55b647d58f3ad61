// Mouse gestures on the picture through real mouse events on the main window: the position
// readout, the hint, panning, and the Shift-drag range draw and restore with the rubber band.
#include "gui_support.h"
#include "ui_form1.h"

#include <QListWidget>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>
#include <tuple>

using namespace nocturo;
using namespace nocturo::testing;

namespace {

const QString kHintTail = QStringLiteral(
    " マウスホイールで拡大or縮小   /    Shift + 左でラッグでドラッグ範囲描画\u3000 /    Shift + 右ドラッグでドラッグ範囲原画復元  ");
const QString kHintPan = QStringLiteral("左ドラッグで移動    /   ");

// In the 1366 x 700 window an 800 x 600 picture fits: scale 1, drawn at window (208, 50).
constexpr int kLeft800 = 208, kTop800 = 50;
QPoint at800(int px, int py) { return QPoint(kLeft800 + px, kTop800 + py); }

// A move without a button (QTest only moves the cursor then).
void hover(QWidget* w, QPoint p, Qt::KeyboardModifiers mods = {}) {
    QMouseEvent ev(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton, mods);
    QApplication::sendEvent(w, &ev);
}

// A move with the buttons QTest holds pressed.
void drag(QWidget* w, QPoint p, Qt::KeyboardModifiers mods = {}) { QTest::mouseEvent(QTest::MouseMove, w, Qt::NoButton, mods, p); }

void gesture(QWidget* w, Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint from, QPoint to) {
    QTest::mousePress(w, button, mods, from);
    drag(w, (from + to) / 2, mods);
    drag(w, to, mods);
    QTest::mouseRelease(w, button, mods, to);
}

// An 800 x 600 black sky with two white 3 x 3 stars at (100..102, 100..102) and (300..302,
// 300..302); the side panel set to threshold 10, brightness 30, saturation 0, no enlargement.
[[nodiscard]] bool loadTwoStars(TestProgram& t) {
    if (!loadPlainPicture(t, 800, 600)) return false;
    ProgramState& st = t.st();
    st.SourceImage.fill(kBlack);
    st.SourceImage.fillRect(100, 100, 103, 103, kWhite);
    st.SourceImage.fillRect(300, 300, 303, 303, kWhite);
    st.ProcessedImage = st.SourceImage.clone();
    st.MarkImage.fill(kBlack);
    TForm1* f = t.form1();
    f->ui->ComboBox1->setEditText("10");
    f->ui->ComboBox2->setEditText("30");
    f->ui->ComboBox3->setEditText("0");
    f->ui->CheckBox2->setChecked(false);
    f->ui->RadioButton1->setChecked(true);
    f->RedrawView();
    return true;
}

// Loads the two stars and draws the whole picture with a click on 全画面描画: both are counted.
[[nodiscard]] bool loadAndDrawTwoStars(TestProgram& t) {
    if (!loadTwoStars(t)) return false;
    QPushButton* draw = t.form1()->ui->Button2;
    QTest::mousePress(draw, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(draw, Qt::LeftButton, {}, QPoint(5, 5));
    return passes([&] { QCOMPARE(t.form1()->ui->Edit1->text(), QStringLiteral("2")); });
}

bool marksBlackOutside(const WorkImage& marks, const ProcRect& r) {
    for (int y = 0; y < marks.height(); ++y)
        for (int x = 0; x < marks.width(); ++x) {
            const bool inside = x >= r.ProcLeft && x <= r.ProcRight && y >= r.ProcTop && y <= r.ProcBottom;
            if (!inside && marks.pixel(x, y) != kBlack) return false;
        }
    return true;
}

bool marksBlackInside(const WorkImage& marks, const ProcRect& r) {
    for (int y = r.ProcTop; y <= r.ProcBottom; ++y)
        for (int x = r.ProcLeft; x <= r.ProcRight; ++x)
            if (marks.pixel(x, y) != kBlack) return false;
    return true;
}

bool sameRect(const ProcRect& r, int l, int t, int right, int b) {
    return r.ProcLeft == l && r.ProcTop == t && r.ProcRight == right && r.ProcBottom == b &&
           r.ProcWidth == right - l + 1 && r.ProcHeight == b - t + 1;
}

ColorValue screenPixel(const QImage& img, QPoint p) {
    const QRgb c = img.pixel(p);
    return makeColor(qRed(c), qGreen(c), qBlue(c));
}

}  // namespace

class ViewerMouseTest : public QObject {
    Q_OBJECT

private slots:
    void readoutShowsClampedPicturePixels_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QPoint>("window");
        QTest::addColumn<QPoint>("pixel");
        QTest::newRow("white margin left of the picture") << QSize(800, 600) << QPoint(100, 300) << QPoint(0, 250);
        QTest::newRow("inside") << QSize(800, 600) << at800(123, 45) << QPoint(123, 45);
        QTest::newRow("below and right of it") << QSize(800, 600) << QPoint(1100, 690) << QPoint(799, 599);
        QTest::newRow("above it") << QSize(800, 600) << QPoint(300, 2) << QPoint(92, 0);
        // 1600 x 1200 is fitted at 0.55 and drawn from window (168, 20).
        QTest::newRow("fitted, 55 / 0.55 rounds to 100") << QSize(1600, 1200) << QPoint(168 + 55, 20 + 110) << QPoint(100, 200);
    }

    void readoutShowsClampedPicturePixels() {
        QFETCH(QSize, picture);
        QFETCH(QPoint, window);
        QFETCH(QPoint, pixel);
        TestProgram t;
        QVERIFY(loadPlainPicture(t, picture.width(), picture.height()));
        TForm1* f = t.form1();
        f->ui->ListBox1->show();
        hover(f, window);
        QCOMPARE(f->ui->Label6->text(), QStringLiteral("原画の\u3000X=%1   Y=%2").arg(pixel.x()).arg(pixel.y()));
        QVERIFY(f->ui->Label6->width() >= f->ui->Label6->sizeHint().width());
        QVERIFY(!f->ui->ListBox1->isVisible());
    }

    void dragWithoutShiftPansOnlyAboveZoomOne_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPoint>("move");
        QTest::addColumn<QPoint>("shown");  // ShownSrcLeft/Top expected during and after the drag
        // At zoom 2 the 588 x 330 rectangle starts at (106, 135) around the centre (400, 300).
        QTest::newRow("left") << Qt::LeftButton << QPoint(-100, -50) << QPoint(156, 160);
        QTest::newRow("right") << Qt::RightButton << QPoint(-100, -50) << QPoint(156, 160);
        QTest::newRow("middle") << Qt::MiddleButton << QPoint(40, 20) << QPoint(86, 125);
        QTest::newRow("clamped top-left") << Qt::LeftButton << QPoint(2000, 2000) << QPoint(0, 0);
        QTest::newRow("clamped bottom-right") << Qt::LeftButton << QPoint(-2000, -2000) << QPoint(212, 270);
    }

    void dragWithoutShiftPansOnlyAboveZoomOne() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPoint, move);
        QFETCH(QPoint, shown);
        TestProgram t;
        QVERIFY(loadPlainPicture(t, 800, 600));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        st.ZoomFactor = 2.0f;
        f->RedrawView();
        QCOMPARE(st.View.ViewSrcLeft, 106);
        QCOMPARE(st.View.ViewSrcTop, 135);
        const QPoint from(600, 300), to = from + move;
        QTest::mousePress(f, button, {}, from);
        QCOMPARE(st.PanAnchorX, 600);
        drag(f, to);
        QCOMPARE(st.View.ShownSrcLeft, shown.x());
        QCOMPARE(st.View.ShownSrcTop, shown.y());
        QCOMPARE(st.View.ViewSrcLeft, 106);  // committed only on release
        // The screen shows the moved rectangle at scale 2: window (300, 300) is 140 picture
        // pixels right of and below its top-left corner.
        QVERIFY(QTest::qWaitFor([&] {
            return screenPixel(f->grab().toImage(), QPoint(300, 300)) == st.SourceImage.pixel(shown.x() + 140, shown.y() + 140);
        }));
        QTest::mouseRelease(f, button, {}, to);
        QCOMPARE(st.View.ViewSrcLeft, shown.x());
        QCOMPARE(st.View.ViewSrcTop, shown.y());
        QCOMPARE(st.View.ViewCentreX, shown.x() + 294);
        QCOMPARE(st.View.ViewCentreY, shown.y() + 165);
        QCOMPARE(st.PanAnchorX, -10);
        QCOMPARE(st.PanAnchorY, -10);
    }

    void zoomOneDoesNotPanButJustAboveItDoes() {
        TestProgram t;
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        // Fitted at 0.96 (a 32-bit float), 600 x 686 shows one column and one row less than it
        // has: a drag at zoom 1 would have a pixel to pan in each direction, yet must not.
        QVERIFY(loadPlainPicture(t, 600, 686));
        QCOMPARE(st.View.ViewSrcWidth, 599);
        QCOMPARE(st.View.ViewSrcHeight, 685);
        // Placed around the centre (300, 343): the hidden column and row are the first ones, so
        // a drag to the right and down would reach them.
        QCOMPARE(st.View.ViewSrcLeft, 1);
        QCOMPARE(st.View.ViewSrcTop, 1);
        for (const QPoint to : {QPoint(400, 200), QPoint(800, 400)}) {
            gesture(f, Qt::LeftButton, {}, QPoint(600, 300), to);
            QCOMPARE(st.View.ShownSrcLeft, 1);
            QCOMPARE(st.View.ShownSrcTop, 1);
            QCOMPARE(st.View.ViewSrcLeft, 1);
            QCOMPARE(st.View.ViewSrcTop, 1);
        }

        QVERIFY(loadPlainPicture(t, 1600, 1200));

        // One wheel notch: zoom 1.05, scale 0.5775 still below 1, so the hint does not offer
        // panning, yet the drag pans.
        sendWheel(f, QPoint(0, 120));
        QCOMPARE(st.ZoomFactor, 1.05f);
        QVERIFY(st.View.ViewScale < 1.0f);
        // 924 x 660 drawn: the whole width shows, the height does not.
        const int left = st.View.ViewSrcLeft, top = st.View.ViewSrcTop;
        QVERIFY(top > 20);
        hover(f, QPoint(600, 300));
        QCOMPARE(f->ui->Label7->text(), kHintTail);
        gesture(f, Qt::LeftButton, {}, QPoint(600, 300), QPoint(600, 300 + 11));
        const double s = st.View.ViewScale;
        QCOMPARE(st.View.ViewSrcLeft, left);
        QCOMPARE(st.View.ViewSrcTop, static_cast<int>(top - 11 / s));
        QVERIFY(st.View.ViewSrcTop < top);
    }

    void hintTextPlacementAndArea() {
        TestProgram t;
        QVERIFY(loadPlainPicture(t, 800, 600));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        QLabel* label7 = f->ui->Label7;
        QCOMPARE(st.HintRightLimit, 1366 - 145 - 5 - 20);

        struct Where {
            QPoint p;
            bool shown;
        };
        const Where points[] = {
            {QPoint(600, 300), true}, {QPoint(51, 51), true},    {QPoint(50, 300), false},
            {QPoint(600, 50), false}, {QPoint(600, 650), false}, {QPoint(600, 649), true},
            {QPoint(1196, 300), false}, {QPoint(1195, 300), true},
        };
        for (const Where& w : points) {
            label7->hide();
            hover(f, w.p);
            QCOMPARE(label7->isVisible(), w.shown);
        }

        // The readout far to the right: the centred hint would run into it, so it goes down.
        f->ui->Label6->move(st.HintRightLimit, 3);
        hover(f, QPoint(600, 300));
        QCOMPARE(label7->text(), kHintTail);
        QVERIFY(label7->width() >= label7->sizeHint().width());
        const int centred = std::max(10, static_cast<int>((st.HintRightLimit - label7->width()) / 2));
        QCOMPARE(label7->x(), centred);
        QCOMPARE(label7->y(), 700 - 18);
        // Readout out of the way (it keeps its place as its text changes): the hint sits at the top.
        f->ui->Label6->move(-2000, 3);
        QTest::mouseClick(f->ui->Button10, Qt::LeftButton);  // scale 1.1: panning is offered
        hover(f, QPoint(600, 300));
        QCOMPARE(label7->text(), kHintPan + kHintTail);
        QCOMPARE(label7->y(), 3);
        QCOMPARE(label7->x(), std::max(10, static_cast<int>((st.HintRightLimit - label7->width()) / 2)));
    }

    void shiftLeftRangeExtractsInsideOnly() {
        TestProgram t;
        QVERIFY(loadTwoStars(t));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        // The four drag directions over the same window rectangle give one processing rectangle.
        const QPoint a = at800(90, 90), b = at800(120, 120);
        const QPoint corners[][2] = {{a, b}, {b, a}, {QPoint(b.x(), a.y()), QPoint(a.x(), b.y())},
                                     {QPoint(a.x(), b.y()), QPoint(b.x(), a.y())}};
        for (const auto& c : corners) {
            st.MarkImage.fill(kBlack);
            gesture(f, Qt::LeftButton, Qt::ShiftModifier, c[0], c[1]);
            QVERIFY(sameRect(st.Proc, 90, 90, 120, 120));
            QCOMPARE(st.ProcessState, 2);
            QCOMPARE(st.DisplayMode, 2);
            QCOMPARE(f->ui->Edit1->text(), QStringLiteral("1"));
            QVERIFY(st.MarkImage.pixel(100, 100) != kBlack);
            QVERIFY(marksBlackOutside(st.MarkImage, st.Proc));  // the star at 300 is not touched
            QVERIFY(f->ui->Panel8->isVisible());
            QCOMPARE(st.PanAnchorX, -10);
        }
    }

    void rangesTwoPixelsWideOnlyClearTheMarks_data() {
        QTest::addColumn<QRect>("range");  // picture pixels, corners included
        QTest::addColumn<bool>("processed");
        // The star at 100..102: a 3 x 3 range over it finds it (its last column never counts).
        QTest::newRow("3 x 3 over the star") << QRect(QPoint(99, 99), QPoint(101, 101)) << true;
        QTest::newRow("2 wide") << QRect(QPoint(100, 99), QPoint(101, 101)) << false;
        QTest::newRow("2 high") << QRect(QPoint(99, 100), QPoint(101, 101)) << false;
    }

    void rangesTwoPixelsWideOnlyClearTheMarks() {
        QFETCH(QRect, range);
        QFETCH(bool, processed);
        TestProgram t;
        QVERIFY(loadAndDrawTwoStars(t));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        const WorkImage processedBefore = st.ProcessedImage.clone();
        // Make the marks differ from what a new run would leave, to see whether it ran.
        st.MarkImage.fillRect(200, 200, 203, 203, makeColor(255, 0, 0));
        gesture(f, Qt::LeftButton, Qt::ShiftModifier, at800(range.left(), range.top()), at800(range.right(), range.bottom()));
        QVERIFY(sameRect(st.Proc, range.left(), range.top(), range.right(), range.bottom()));
        QVERIFY(sameImages(st.ProcessedImage, processedBefore));
        QVERIFY(st.MarkImage.pixel(300, 300) != kBlack);
        if (processed) {
            // The new count sees the extra mark block as a third star.
            QVERIFY(st.MarkImage.pixel(100, 100) != kBlack);
            QCOMPARE(f->ui->Edit1->text(), QStringLiteral("3"));
        } else {
            QVERIFY(marksBlackInside(st.MarkImage, st.Proc));
            QCOMPARE(f->ui->Edit1->text(), QStringLiteral("2"));
        }
    }

    void rangeIsClampedToThePictureAboveTheStrip() {
        TestProgram t;  // the sample carries the shooting-data strip
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        QVERIFY(st.ShotDataStrip > 0);
        const int W = st.SourceImage.width(), H = st.SourceImage.height();
        QCOMPARE(st.WorkHeight, H - 15);
        const ViewState& v = st.View;
        const QPoint picTopLeft(20 + v.ViewDestLeft, 20 + v.ViewDestTop);
        const QPoint inside = picTopLeft + QPoint(40, 40);
        // A processed picture that differs from the source everywhere, strip rows included.
        const ColorValue kProcessed = makeColor(1, 254, 3);
        st.ProcessedImage.fill(kProcessed);
        f->ui->RadioButton1->setChecked(true);  // restored from the source, not a colour
        // From inside the picture to the bottom-right corner of the window, over the margin.
        gesture(f, Qt::RightButton, Qt::ShiftModifier, inside, QPoint(1199, 699));
        const int l = static_cast<int>(std::nearbyint(40 / static_cast<double>(v.ViewScale) + v.ViewSrcLeft));
        const int top = static_cast<int>(std::nearbyint(40 / static_cast<double>(v.ViewScale) + v.ViewSrcTop));
        QVERIFY(sameRect(st.Proc, l, top, W - 1, H - 15 - 1));
        // The range is restored from the source; the strip rows keep what the processed picture
        // had there.
        for (int y = 0; y < H; ++y) {
            const bool inRange = y >= top;
            for (int x = l; x < W; ++x) {
                const ColorValue want = inRange && y < H - 15 ? st.SourceImage.pixel(x, y) : kProcessed;
                if (st.ProcessedImage.pixel(x, y) != want) QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
            }
        }
        // And to the top-left corner: clamped at 0.
        gesture(f, Qt::RightButton, Qt::ShiftModifier, inside, QPoint(1, 1));
        QVERIFY(sameRect(st.Proc, 0, 0, l, top));
    }

    void bandIsDrawnAndShiftLetGoOnlyRemovesIt() {
        TestProgram t;
        QVERIFY(loadTwoStars(t));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        st.Proc = ProcRect{1, 2, 3, 4, 3, 3};
        st.MarkImage.fillRect(100, 100, 103, 103, makeColor(255, 0, 0));
        const WorkImage marks = st.MarkImage.clone();
        const QImage before = f->grab().toImage();

        const QPoint a = at800(50, 60), b = at800(250, 160);
        QTest::mousePress(f, Qt::LeftButton, Qt::ShiftModifier, a);
        QVERIFY(!f->ui->Panel8->isVisible());
        drag(f, b, Qt::ShiftModifier);
        QVERIFY(st.BandActive);
        QCOMPARE(st.BandEndX, b.x());
        // A dotted red outline through both corners over the black sky, nothing inside it.
        const ColorValue red = makeColor(255, 0, 0);
        auto countRed = [&](const QImage& img, QPoint from, QPoint step, int n) {
            int reds = 0;
            for (int i = 0; i < n; ++i) reds += screenPixel(img, from + i * step) == red;
            return reds;
        };
        const int w = b.x() - a.x() + 1, h = b.y() - a.y() + 1;
        QImage during;
        QVERIFY(QTest::qWaitFor([&] {
            during = f->grab().toImage();
            return countRed(during, a, QPoint(1, 0), w) > 0;
        }));
        for (const auto& edge : {std::tuple{a, QPoint(1, 0), w}, std::tuple{QPoint(a.x(), b.y()), QPoint(1, 0), w},
                                 std::tuple{a, QPoint(0, 1), h}, std::tuple{QPoint(b.x(), a.y()), QPoint(0, 1), h}}) {
            const int reds = countRed(during, std::get<0>(edge), std::get<1>(edge), std::get<2>(edge));
            QVERIFY(reds >= std::get<2>(edge) / 4);       // dotted ...
            QVERIFY(reds <= std::get<2>(edge) * 3 / 4);   // ... not solid
        }
        QCOMPARE(countRed(during, a + QPoint(2, 2), QPoint(1, 1), h - 4), 0);
        QCOMPARE(countRed(during, a - QPoint(2, 2), QPoint(1, 0), w), 0);  // one pixel wide

        // Shift let go before the release: the band goes, nothing else happens.
        QTest::mouseRelease(f, Qt::LeftButton, {}, b);
        QVERIFY(!st.BandActive);
        QVERIFY(f->ui->Panel8->isVisible());
        QVERIFY(sameRect(st.Proc, 1, 2, 3, 4));
        QVERIFY(sameImages(st.MarkImage, marks));
        QCOMPARE(st.ProcessState, 1);
        // The band is gone completely (the readout above the view changed meanwhile).
        const QRect bandRegion = QRect(a, b).adjusted(-3, -3, 3, 3);
        QVERIFY(QTest::qWaitFor([&] { return f->grab().toImage().copy(bandRegion) == before.copy(bandRegion); }));
    }

    void shiftRightRestoresTheRange_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("specifiedColour");
        QTest::newRow("right, from the source") << Qt::RightButton << false;
        QTest::newRow("middle, the specified colour") << Qt::MiddleButton << true;
        QTest::newRow("right, the specified colour") << Qt::RightButton << true;
    }

    void shiftRightRestoresTheRange() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, specifiedColour);
        const ColorValue colour = makeColor(0x12, 0x34, 0x56);
        TestProgram t;
        QVERIFY(loadAndDrawTwoStars(t));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        // Something to restore: the processed picture differs from the source in the range.
        st.ProcessedImage.fillRect(80, 80, 130, 130, makeColor(9, 9, 9));
        const WorkImage processed = st.ProcessedImage.clone();
        const ColorValue backgroundBefore = st.BackgroundColor;
        f->setPanel2Color(colour);
        (specifiedColour ? f->ui->RadioButton2 : f->ui->RadioButton1)->setChecked(true);
        f->ui->RadioButton3->setChecked(true);  // showing the original
        QCOMPARE(st.DisplayMode, 1);
        gesture(f, button, Qt::ShiftModifier, at800(90, 95), at800(120, 125));
        QVERIFY(sameRect(st.Proc, 90, 95, 120, 125));
        QCOMPARE(st.DisplayMode, 2);
        QVERIFY(marksBlackInside(st.MarkImage, st.Proc));
        QCOMPARE(f->ui->Edit1->text(), QStringLiteral("1"));
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x) {
                const bool inside = x >= 90 && x <= 120 && y >= 95 && y <= 125;
                const ColorValue want = !inside ? processed.pixel(x, y) : specifiedColour ? colour : st.SourceImage.pixel(x, y);
                if (st.ProcessedImage.pixel(x, y) != want) QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
            }
        QCOMPARE(st.BackgroundColor, specifiedColour ? colour : backgroundBefore);
    }

    // Only the left, right and middle buttons make gestures: back, forward and the other extra
    // buttons of a mouse neither restore a range nor start a pan.
    void extraMouseButtonsDoNothingOnThePicture() {
        TestProgram t;
        QVERIFY(loadAndDrawTwoStars(t));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        st.ProcessedImage.fillRect(80, 80, 130, 130, makeColor(9, 9, 9));
        const WorkImage processed = st.ProcessedImage.clone();
        const ProcRect rect = st.Proc;
        for (const Qt::MouseButton b : {Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton3}) {
            QTest::mousePress(f, b, Qt::ShiftModifier, at800(90, 95));
            QVERIFY(!st.BandActive);
            QVERIFY(f->ui->Panel8->isVisible());
            QTest::mouseRelease(f, b, Qt::ShiftModifier, at800(120, 125));
        }
        QVERIFY(sameRect(st.Proc, rect.ProcLeft, rect.ProcTop, rect.ProcRight, rect.ProcBottom));
        QVERIFY(sameImages(st.ProcessedImage, processed));
        QCOMPARE(f->ui->Edit1->text(), QStringLiteral("2"));

        st.ZoomFactor = 2.0f;
        f->RedrawView();
        const ViewState view = st.View;
        QTest::mousePress(f, Qt::BackButton, {}, QPoint(600, 300));
        QCOMPARE(st.PanAnchorX, -10);
        drag(f, QPoint(500, 250));
        QTest::mouseRelease(f, Qt::BackButton, {}, QPoint(500, 250));
        QVERIFY(st.View == view);
    }
};

QTEST_MAIN(ViewerMouseTest)
#include "viewer_mouse_test.moc"
