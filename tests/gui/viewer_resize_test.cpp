// The view in the real window: layout after a resize, the fitted and the 1:1 picture at the right
// window pixels, plain and inverted.
#include "common/jpeg_codec.h"
#include "gui_support.h"
#include "ui_form1.h"

#include <QImage>

using namespace nocturo;
using namespace nocturo::testing;

class ViewerResizeTest : public QObject {
    Q_OBJECT

private:
    static ColorValue at(const QImage& shot, int x, int y) {
        const QRgb c = shot.pixel(x, y);
        return makeColor(qRed(c), qGreen(c), qBlue(c));
    }
    static ColorValue inverted(ColorValue c) { return makeColor(255 - colorRed(c), 255 - colorGreen(c), 255 - colorBlue(c)); }

    // An 800 x 600 picture without EXIF whose pixels all differ from their neighbours.
    [[nodiscard]] static bool loadPattern(TestProgram& t) {
        t.st().PicturePath = writePlainJpeg(t.folder, "pattern.jpg", 800, 600);
        t.st().ResizeOnLoad = 0;
        t.form1()->LoadPicture();
        return t.st().SourceImage.width() == 800;
    }

private slots:
    void resizePlacesThePanelTheListAndTheBar() {
        TestProgram t;
        TForm1* f = t.form1();
        f->resize(1000, 640);
        QCOMPARE(f->ui->Panel1->pos(), QPoint(1000 - 145 - 5, 20));
        // The sample with its strip (1286 x 835) has a 128 x 83 thumbnail 22 rows down in Image1.
        QCOMPARE(t.st().ThumbTop, 38 + 22);
        QCOMPARE(f->ui->ListBox1->pos(), QPoint(1000 - 145 - 5 - 169 - 5, 38 + 22 + 20));
        QCOMPARE(f->ui->Panel8->pos(), QPoint(5, 5));
        QCOMPARE(t.st().HintRightLimit, 1000 - 145 - 5 - 20);
        // A dragged panel goes back to the right edge on the next resize.
        f->ui->Panel1->move(100, 300);
        f->resize(1366, 700);
        QCOMPARE(f->ui->Panel1->pos(), QPoint(1366 - 150, 20));
        QCOMPARE(t.st().View.ViewAreaWidth, 1176);
        QCOMPARE(t.st().View.ViewAreaHeight, 660);
    }

    void smallPictureIsShownPixelForPixelAndCentred() {
        TestProgram t;
        TForm1* f = t.form1();
        f->resize(1366, 700);
        QVERIFY(loadPattern(t));
        const ProgramState& st = t.st();
        QCOMPARE(st.View.FitScale, 1.0f);
        QCOMPARE(st.View.ViewDestLeft, 188);
        QCOMPARE(st.View.ViewDestTop, 30);
        const QImage shot = f->grab().toImage();
        const int ox = 20 + 188, oy = 20 + 30;
        struct Point { int x, y; };
        for (Point p : {Point{0, 0}, Point{1, 0}, Point{399, 299}, Point{799, 599}, Point{123, 456}, Point{700, 10}})
            QCOMPARE(at(shot, ox + p.x, oy + p.y), st.SourceImage.pixel(p.x, p.y));
        QCOMPARE(at(shot, ox - 1, oy + 100), kWhite);   // the margin left of the picture
        QCOMPARE(at(shot, ox + 800, oy + 100), kWhite);  // and right of it
    }

    void invertedDisplayAppliesToTheProcessedPictureOnly() {
        TestProgram t;
        TForm1* f = t.form1();
        f->resize(1366, 700);
        QVERIFY(loadPattern(t));
        ProgramState& st = t.st();
        const int ox = 20 + 188, oy = 20 + 30;
        f->ui->CheckBox1->setChecked(true);
        st.DisplayMode = 1;
        f->RedrawView();
        QCOMPARE(at(f->grab().toImage(), ox + 50, oy + 60), st.SourceImage.pixel(50, 60));
        st.DisplayMode = 2;
        f->RedrawView();
        QImage shot = f->grab().toImage();
        QCOMPARE(at(shot, ox + 50, oy + 60), inverted(st.ProcessedImage.pixel(50, 60)));
        QCOMPARE(at(shot, ox + 799, oy + 599), inverted(st.ProcessedImage.pixel(799, 599)));
        f->ui->CheckBox1->setChecked(false);
        f->RedrawView();
        QCOMPARE(at(f->grab().toImage(), ox + 50, oy + 60), st.ProcessedImage.pixel(50, 60));
    }

    void fittedLargePictureShowsTheMappedSourcePixels() {
        TestProgram t;
        TForm1* f = t.form1();
        f->resize(1366, 700);
        const ProgramState& st = t.st();
        // The sample (1286 x 835) is larger than the 1176 x 660 area: fitted by height.
        QVERIFY(st.View.FitScale < 1.0f);
        QVERIFY(st.View.DispH >= 659);  // 835 x FitScale stored as a float can fall just short of 660
        const QImage shot = f->grab().toImage();
        const int left = 20 + st.View.ViewDestLeft, top = 20 + st.View.ViewDestTop;
        for (int i : {0, 1, 250, 513, st.View.DispW - 1}) {
            const int x = left + i, y = top + 40 + i % 500;  // below the button bar at the top
            const int px = std::clamp(PictureColumnAt(st.View, x), 0, st.SourceImage.width() - 1);
            const int py = std::clamp(PictureRowAt(st.View, y), 0, st.SourceImage.height() - 1);
            QCOMPARE(at(shot, x, y), st.SourceImage.pixel(px, py));
        }
        QCOMPARE(at(shot, left - 1, top + 10), kWhite);
    }

    void tooSmallAWindowKeepsThePreviousView() {
        TestProgram t;
        TForm1* f = t.form1();
        f->resize(1366, 700);
        const ViewState before = t.st().View;
        f->resize(150, 30);  // no room for a view area
        QCOMPARE(t.st().View.ViewAreaWidth, before.ViewAreaWidth);
        QCOMPARE(t.st().View.FitScale, before.FitScale);
        f->resize(1366, 700);
        QCOMPARE(t.st().View.ViewAreaWidth, 1176);
    }
};

QTEST_MAIN(ViewerResizeTest)
#include "viewer_resize_test.moc"
