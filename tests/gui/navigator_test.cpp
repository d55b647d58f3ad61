// The navigator thumbnail through real mouse events on Image1: a left click moves the view, other
// buttons copy the shooting date, and the tooltip tells what the clicks do.
#include "gui_support.h"
#include "ui_form1.h"

#include <QClipboard>

using namespace nocturo;
using namespace nocturo::testing;

class NavigatorTest : public QObject {
    Q_OBJECT

private:
    // loadPlainPicture's default 1000 x 500 picture (no shooting data) has a 128 x 64 thumbnail at
    // offset (0, 32), so ThumbLeft 9 and ThumbTop 70 in Panel1.
    static void zoom(TestProgram& t, float factor) {
        t.st().ZoomFactor = factor;
        t.form1()->RedrawView();
    }

    static void click(TestProgram& t, Qt::MouseButton button, QPoint p) {
        QTest::mousePress(t.form1()->ui->Image1, button, {}, p);
        QTest::mouseRelease(t.form1()->ui->Image1, button, {}, p);
    }

    static QRect frame(TestProgram& t, int which) {
        QWidget* panels[] = {t.form1()->ui->Panel3, t.form1()->ui->Panel4, t.form1()->ui->Panel5, t.form1()->ui->Panel6};
        return panels[which]->geometry();
    }

private slots:
    void thumbnailGeometryFollowsThePictureShape() {
        struct Case {
            int w, h;
            int thumbW, thumbH, offX, offY;
        };
        const Case cases[] = {
            {400, 300, 128, 96, 0, 16},   // landscape
            {300, 400, 96, 128, 16, 0},   // portrait
            {250, 250, 128, 128, 0, 0},   // square takes the portrait branch
            {1000, 333, 128, 43, 0, 42},  // Round(42.624) = 43, Round(42.5) = 42
            {1000, 500, 128, 64, 0, 32},
        };
        TestProgram t;
        for (const Case& c : cases) {
            QVERIFY(loadPlainPicture(t, c.w, c.h));
            const ProgramState& st = t.st();
            QCOMPARE(QList<int>({st.ThumbWidth, st.ThumbHeight, st.ThumbOffsetX, st.ThumbOffsetY}),
                     QList<int>({c.thumbW, c.thumbH, c.offX, c.offY}));
            QCOMPARE(st.ThumbLeft, 9 + c.offX);
            QCOMPARE(st.ThumbTop, 38 + c.offY);
        }
        // Whole picture visible (1000 x 500): the frame runs along the thumbnail's top and left
        // edges and one pixel outside its bottom and right edges.
        QCOMPARE(t.st().View.ViewSrcWidth, 1000);
        QCOMPARE(frame(t, 0), QRect(9, 70, 128, 1));
        QCOMPARE(frame(t, 1), QRect(9, 134, 128, 1));
        QCOMPARE(frame(t, 2), QRect(9, 70, 1, 64));
        QCOMPARE(frame(t, 3), QRect(137, 70, 1, 64));
    }

    void leftClickMovesTheViewThere() {
        TestProgram t;
        QVERIFY(loadPlainPicture(t));
        zoom(t, 2.0f);
        ProgramState& st = t.st();
        // 1176 x 660 view area at scale 2: 588 x 330 picture pixels are visible.
        QCOMPARE(st.View.ViewSrcWidth, 588);
        QCOMPARE(st.View.ViewSrcHeight, 330);
        QCOMPARE(st.View.ViewSrcLeft, 206);
        const QSize frameSize(frame(t, 0).width(), frame(t, 2).height());
        QCOMPARE(frameSize, QSize(75, 42));
        struct Case {
            QPoint at;       // in Image1
            int left, top;   // the new source rectangle
            int fx, fy;      // the frame's top-left in Panel1
        };
        const Case cases[] = {
            {{80, 60}, 331, 53, 51, 77},     // centred on the clicked point
            {{2, 34}, 0, 0, 9, 70},          // near the top-left corner: against the corner
            {{127, 95}, 412, 170, 61, 92},   // near the bottom-right corner
            {{64, 5}, 206, 0, 35, 70},       // in the margin above the thumbnail
            {{120, 127}, 412, 170, 61, 92},  // in the margin below
        };
        for (const Case& c : cases) {
            click(t, Qt::LeftButton, c.at);
            const ViewState& v = st.View;
            QCOMPARE(QList<int>({v.ShownSrcLeft, v.ShownSrcTop, v.ViewSrcLeft, v.ViewSrcTop}),
                     QList<int>({c.left, c.top, c.left, c.top}));
            QCOMPARE(QList<int>({v.ViewCentreX, v.ViewCentreY}), QList<int>({c.left + 294, c.top + 165}));
            QCOMPARE(v.ViewSrcWidth, 588);
            QCOMPARE(v.ViewScale, 2.0f);
            // The frame moves and keeps its size.
            QCOMPARE(frame(t, 0), QRect(c.fx, c.fy, 75, 1));
            QCOMPARE(frame(t, 1), QRect(c.fx, c.fy + 42, 75, 1));
            QCOMPARE(frame(t, 3), QRect(c.fx + 75, c.fy, 1, 42));
            // The window shows the new rectangle at scale 2.
            const QImage shot = t.form1()->grab().toImage();
            for (const QPoint w : {QPoint(400, 300), QPoint(1000, 600)}) {
                const ColorValue want = st.SourceImage.pixel(c.left + (w.x() - 20) / 2, c.top + (w.y() - 20) / 2);
                const QRgb got = shot.pixel(w);
                QCOMPARE(makeColor(qRed(got), qGreen(got), qBlue(got)), want);
            }
        }
        // After a new redraw the zoom keeps the centre chosen by the click.
        zoom(t, 2.0f);
        QCOMPARE(st.View.ViewSrcLeft, 412);
        QCOMPARE(st.View.ViewSrcTop, 170);
    }

    void leftClickDoesNothingWhenTheWholePictureIsVisible() {
        TestProgram t;
        QVERIFY(loadPlainPicture(t));
        const ViewState before = t.st().View;
        const QRect top = frame(t, 0);
        click(t, Qt::LeftButton, QPoint(120, 90));
        QVERIFY(t.st().View == before);
        QCOMPARE(frame(t, 0), top);
    }

    void otherButtonsCopyTheShootingDate() {
        const Qt::MouseButton buttons[] = {Qt::RightButton, Qt::MiddleButton};
        for (const Qt::MouseButton button : buttons) {
            TestProgram t;  // starts with the sample, which has a shooting date
            QCOMPARE(t.st().Shot.HasShotDate, 1);
            QCOMPARE(t.st().Shot.ShotDateText, QStringLiteral("2024/08/10 22:48:30"));
            zoom(t, 3.0f);
            const ViewState before = t.st().View;
            QGuiApplication::clipboard()->setText("before");
            QString message;
            {
                const auto messageAnswer = acceptNextMessage(&message);
                click(t, button, QPoint(60, 60));
                QVERIFY(messageAnswer.answered());
            }
            QCOMPARE(message, QStringLiteral("クリップボードに日時データをコピーしました\r\n(2024/08/10 22:48:30)"));
            QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2024/08/10 22:48:30"));
            QVERIFY(t.st().View == before);  // the view stays where it was

            QVERIFY(loadPlainPicture(t));
            QGuiApplication::clipboard()->setText("before");
            message.clear();
            {
                const auto messageAnswer = acceptNextMessage(&message);
                click(t, button, QPoint(60, 60));
                QVERIFY(messageAnswer.answered());
            }
            QCOMPARE(message, QStringLiteral("日時のデータはありません"));
            QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
        }
    }

    // Back, forward and the other extra buttons of a mouse neither move the view nor copy.
    void extraMouseButtonsDoNothingOnTheThumbnail() {
        TestProgram t;  // the sample, with a shooting date
        zoom(t, 3.0f);
        const ViewState before = t.st().View;
        QGuiApplication::clipboard()->setText("before");
        const NoModalExpected noMessage("a message for an extra mouse button");
        for (const Qt::MouseButton b : {Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton3}) click(t, b, QPoint(10, 90));
        QTest::qWait(30);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
        QVERIFY(t.st().View == before);
    }

    // The margins around the thumbnail take the side panel's silver, from the first picture
    // at start-up on, and later pictures alike.
    void thumbnailMarginsHaveThePanelColourFromTheStart() {
        TestProgram t;  // the sample with its strip, 1286 x 835: a 128 x 83 thumbnail at offset 22
        const QRgb silver = qRgb(192, 192, 192);
        auto margins = [&] {
            const QImage thumb = t.form1()->ui->Image1->pixmap().toImage();
            const int top = t.st().ThumbOffsetY, bottom = top + t.st().ThumbHeight;
            QList<QRgb> seen;
            for (const int y : {0, top - 1, bottom, 127}) seen << thumb.pixel(64, y);
            return seen;
        };
        QCOMPARE(t.st().ThumbOffsetY, 22);
        QCOMPARE(margins(), QList<QRgb>(4, silver));
        QVERIFY(loadPlainPicture(t, 1000, 500));
        QCOMPARE(margins(), QList<QRgb>(4, silver));
    }

    void hoveringShowsTheListAndTellsWhatTheClicksDo() {
        TestProgram t;
        TForm1* f = t.form1();
        QWidget* image1 = f->ui->Image1;
        struct Case {
            bool withDate;
            float zoom;
            const char* hint;
        };
        // Each case changes the hint from the previous one, so a missed update shows.
        const Case cases[] = {
            {true, 1.0f, "右クリックで日時コピー"},
            {true, 2.0f, "左クリックで画面表示位置移動/右クリックで日時コピー"},
            {false, 2.0f, "左クリックで画面表示位置移動"},
            {false, 1.0f, ""},
        };
        // The sample fitted into the view shows a column or two less than the whole picture (the
        // fit scale is a 32-bit float); loaded with a long side of 640 it fits pixel for pixel.
        t.st().PicturePath = QStringLiteral(NOCTURO_RESOURCES "/sample.jpg");
        t.st().ResizeOnLoad = 1;
        t.st().ResizeLongSide = 640;
        t.st().ShotDataStrip = 1;
        f->LoadPicture();
        QCOMPARE(t.st().SourceImage.width(), 640);
        QCOMPARE(t.st().Shot.HasShotDate, 1);
        int x = 10;
        for (const Case& c : cases) {
            if (!c.withDate && t.st().Shot.HasShotDate > 0) QVERIFY(loadPlainPicture(t));
            zoom(t, c.zoom);
            f->ui->ListBox1->hide();
            QTest::mouseMove(image1, QPoint(x, 60));  // no button held
            x += 20;
            QTRY_VERIFY(f->ui->ListBox1->isVisible());
            QCOMPARE(image1->toolTip(), QString::fromUtf8(c.hint));
            QCOMPARE(f->ui->ListBox1->pos(), QPoint(f->ui->Panel1->x() - f->ui->ListBox1->width() - 5,
                                                     t.st().PanelTop + t.st().ThumbTop));
        }
        QCOMPARE(t.st().ThumbTop, 70);  // the plain picture's thumbnail at offset 32
        QCOMPARE(t.st().PanelTop, 10);
    }
};

QTEST_MAIN(NavigatorTest)
#include "navigator_test.moc"
