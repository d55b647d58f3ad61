// On a screen with two device pixels per logical pixel the view keeps its transform in logical
// pixels and paints each buffer pixel as a sharp 2 x 2 block, never a smoothed one.
#include "gui_support.h"
#include "ui_form1.h"

#include <QImage>

using namespace nocturo;
using namespace nocturo::testing;

class ViewerHiDpiTest : public QObject {
    Q_OBJECT

private slots:
    void bufferPixelsBecomeSharpBlocks() {
        TestProgram t;
        TForm1* f = t.form1();
        QCOMPARE(f->devicePixelRatio(), 2.0);
        f->resize(1366, 700);
        t.st().PicturePath = writePlainJpeg(t.folder, "pattern.jpg", 800, 600);
        t.st().ResizeOnLoad = 0;
        f->LoadPicture();
        const ProgramState& st = t.st();
        // The same transform as on a plain screen: the logical client size decides.
        QCOMPARE(st.View.ViewAreaWidth, 1176);
        QCOMPARE(st.View.FitScale, 1.0f);
        QCOMPARE(st.View.ViewDestLeft, 188);
        const QImage shot = f->grab().toImage();
        QCOMPARE(shot.width(), 2 * 1366);
        const int ox = 20 + 188, oy = 20 + 30;
        for (int px : {0, 1, 2, 399, 798, 799})
            for (int py : {0, 1, 300, 599}) {
                const ColorValue want = st.SourceImage.pixel(px, py);
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const QRgb c = shot.pixel(2 * (ox + px) + dx, 2 * (oy + py) + dy);
                        QCOMPARE(makeColor(qRed(c), qGreen(c), qBlue(c)), want);
                    }
            }
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ViewerHiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "viewer_hidpi_test.moc"
