// The zoom buttons and the wheel, the fit and magnification-one buttons, the side-panel drag,
// the button bar and the help button, through real clicks and mouse events.
#include "gui_support.h"
#include "ui_form1.h"
#include "app/desktop.h"

#include <QListWidget>
#include <QMouseEvent>
#include <QWheelEvent>

using namespace nocturo;
using namespace nocturo::testing;

namespace {

void hover(QWidget* w, QPoint p) {
    QMouseEvent ev(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &ev);
}

void drag(QWidget* w, QPoint p) { QTest::mouseEvent(QTest::MouseMove, w, Qt::NoButton, {}, p); }

// A point of the side panel's own surface, clear of its controls and off its left edge.
QPoint freePanelPoint(QWidget* panel) {
    for (int y = panel->height() - 3; y > 0; --y)
        for (int x = 5; x < panel->width() - 5; ++x)
            if (!panel->childAt(x, y)) return QPoint(x, y);
    return QPoint();
}

}  // namespace

class ViewerZoomTest : public QObject {
    Q_OBJECT

private slots:
    void plusAndMinusStepByTenPercent() {
        TestProgram t;
        QVERIFY(loadPlainPicture(t, 800, 600));  // fits: FitScale 1
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        QCOMPARE(st.View.FitScale, 1.0f);
        const float z1 = static_cast<float>(1.0 * 1.1);
        const float z2 = static_cast<float>(static_cast<double>(z1) * 1.1);
        struct Step {
            QPushButton* button;
            float zoom;
        };
        const Step steps[] = {{f->ui->Button9, 1.0f}, {f->ui->Button10, z1}, {f->ui->Button10, z2},
                              {f->ui->Button9, static_cast<float>(static_cast<double>(z2) / 1.1)},
                              {f->ui->Button9, 1.0f}, {f->ui->Button9, 1.0f}};
        for (const Step& s : steps) {
            QTest::mouseClick(s.button, Qt::LeftButton);
            QCOMPARE(st.ZoomFactor, s.zoom);
            QCOMPARE(st.View.ViewScale, s.zoom);  // redrawn at the new factor
        }
        QCOMPARE(z1, 1.1f);
        QCOMPARE(z2, 1.21f);
        // From 1.21 down: 1.1, then exactly 1.0.
        QCOMPARE(static_cast<float>(static_cast<double>(z2) / 1.1), 1.1f);
    }

    void zoomInStopsAtTenScreenPixelsPerPicturePixel_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<float>("fit");
        QTest::newRow("fits whole") << QSize(800, 600) << 1.0f;
        QTest::newRow("fitted, 880 / 1600 in the 1176 x 660 area") << QSize(1600, 1200) << 0.55f;
    }

    void zoomInStopsAtTenScreenPixelsPerPicturePixel() {
        QFETCH(QSize, picture);
        QFETCH(float, fit);
        TestProgram t;
        QVERIFY(loadPlainPicture(t, picture.width(), picture.height()));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        QCOMPARE(st.View.FitScale, fit);
        const float cap = static_cast<float>(10.0 / fit);
        for (int i = 0; i < 60; ++i) QTest::mouseClick(f->ui->Button10, Qt::LeftButton);
        QCOMPARE(st.ZoomFactor, cap);
        QVERIFY(static_cast<float>(static_cast<double>(st.ZoomFactor) * fit) <= 10.0f);
        // The wheel stops at the same place.
        sendWheel(f, QPoint(0, 120));
        QCOMPARE(st.ZoomFactor, cap);
        // "-" from the top goes down one step.
        QTest::mouseClick(f->ui->Button9, Qt::LeftButton);
        QCOMPARE(st.ZoomFactor, static_cast<float>(static_cast<double>(cap) / 1.1));
    }

    void wheelStepsByFivePercentWithinBothBounds_data() {
        QTest::addColumn<float>("start");
        QTest::addColumn<QPoint>("angle");
        QTest::addColumn<float>("expected");
        QTest::newRow("one notch in") << 1.0f << QPoint(0, 120) << static_cast<float>(1.0 * 1.05);
        QTest::newRow("one step whatever the delta") << 1.0f << QPoint(0, 15) << static_cast<float>(1.0 * 1.05);
        QTest::newRow("not below one") << 1.0f << QPoint(0, -120) << 1.0f;
        QTest::newRow("four notches out are one step") << 2.0f << QPoint(0, -480) << static_cast<float>(2.0 / 1.05);
        QTest::newRow("out to one") << 1.02f << QPoint(0, -120) << 1.0f;
        QTest::newRow("in to the cap") << 9.8f << QPoint(0, 120) << 10.0f;
        QTest::newRow("a sideways scroll is no wheel turn") << 2.0f << QPoint(120, 0) << 2.0f;
    }

    void wheelStepsByFivePercentWithinBothBounds() {
        QFETCH(float, start);
        QFETCH(QPoint, angle);
        QFETCH(float, expected);
        TestProgram t;
        QVERIFY(loadPlainPicture(t, 800, 600));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        st.ZoomFactor = start;
        f->RedrawView();
        sendWheel(f, angle);
        QCOMPARE(st.ZoomFactor, expected);
        QCOMPARE(st.View.ViewScale, expected);
    }

    void fitAndMagnificationOne_data() {
        QTest::addColumn<QSize>("picture");
        QTest::newRow("fits whole") << QSize(800, 600);
        QTest::newRow("fitted") << QSize(1600, 1200);
    }

    void fitAndMagnificationOne() {
        QFETCH(QSize, picture);
        const int w = picture.width(), h = picture.height();
        TestProgram t;
        QVERIFY(loadPlainPicture(t, w, h));
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        const float inverse = st.View.InverseFitScale;
        QTest::mouseClick(f->ui->Button6, Qt::LeftButton);
        QCOMPARE(st.ZoomFactor, static_cast<float>(static_cast<double>(inverse) + 0.001));
        // Just above one screen pixel per picture pixel, never exactly one.
        QVERIFY(st.View.ViewScale > 1.0f);
        QVERIFY(st.View.ViewScale < 1.0011f);
        QVERIFY(st.View.ViewSrcWidth < w || st.View.ViewSrcHeight < h || w == 800);
        if (w == 800) QCOMPARE(st.ZoomFactor, 1.001f);

        // Panning is possible now.
        const int top = st.View.ViewSrcTop;
        QTest::mousePress(f, Qt::LeftButton, {}, QPoint(600, 300));
        drag(f, QPoint(600, 300 - 30));
        QTest::mouseRelease(f, Qt::LeftButton, {}, QPoint(600, 300 - 30));
        if (h > 660) QCOMPARE(st.View.ViewSrcTop, top + 29);  // 30 / 1.00055, truncated

        // Fit: the whole picture again, centred.
        QTest::mouseClick(f->ui->Button8, Qt::LeftButton);
        QCOMPARE(st.ZoomFactor, 1.0f);
        QCOMPARE(st.View.ViewScale, st.View.FitScale);
        QCOMPARE(st.View.ViewSrcTop, 0);
        QVERIFY(st.View.ViewSrcHeight >= h - 1);
    }

    void sidePanelDragsOnlyWithTheLeftButtonOnItsSurface() {
        struct Case {
            Qt::MouseButton button;
            bool leftEdge;
            bool drags;
        };
        const Case cases[] = {
            {Qt::LeftButton, false, true},
            {Qt::RightButton, false, false},
            {Qt::MiddleButton, false, false},
            {Qt::LeftButton, true, false},  // X = 0 never starts a drag
        };
        for (const Case& c : cases) {
            TestProgram t;
            TForm1* f = t.form1();
            ProgramState& st = t.st();
            QWidget* panel = f->ui->Panel1;
            QPoint p = freePanelPoint(panel);
            QVERIFY(!p.isNull());
            if (c.leftEdge) p.setX(0);
            QVERIFY(!panel->childAt(p));
            const QPoint start = panel->pos();
            QTest::mousePress(panel, c.button, {}, p);
            drag(panel, p + QPoint(-30, 12));
            const QPoint moved = c.drags ? start + QPoint(-30, 12) : start;
            QCOMPARE(panel->pos(), moved);
            if (c.drags) QCOMPARE(QPoint(st.PanelLeft, st.PanelTop), moved);
            // The moved panel keeps the pointer on the point it was pressed at: no further move.
            drag(panel, p);
            QCOMPARE(panel->pos(), moved);
            const QPoint afterDrag = panel->pos();
            QTest::mouseRelease(panel, c.button, {}, p);
            QCOMPARE(st.PanelDragX, -1);
            QCOMPARE(st.PanelDragY, -1);
            // After the release a move does nothing.
            hover(panel, p + QPoint(50, 50));
            QCOMPARE(panel->pos(), afterDrag);
            QCOMPARE(st.PanAnchorX, -10);  // the picture never saw the press
        }
    }

    void pressesOnThePanelsControlsDoNotDrag() {
        TestProgram t;
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        const QPoint start = f->ui->Panel1->pos();
        QTest::mousePress(f->ui->Label1, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(st.PanelDragX, 0);
        QTest::mouseRelease(f->ui->Label1, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(f->ui->Panel1->pos(), start);
        QCOMPARE(st.PanAnchorX, -10);
    }

    void panelsHideTheListAndTheHint() {
        TestProgram t;
        TForm1* f = t.form1();
        // The hint shows over the picture ...
        hover(f, QPoint(600, 300));
        QVERIFY(f->ui->Label7->isVisible());
        // ... and goes over the button bar's own surface.
        QWidget* bar = f->ui->Panel8;
        const QPoint barPoint(bar->width() - 2, 1);
        QVERIFY(!bar->childAt(barPoint));
        hover(bar, barPoint);
        QVERIFY(!f->ui->Label7->isVisible());
        // The side panel hides the hint and the shooting-data list.
        hover(f, QPoint(600, 300));
        f->ui->ListBox1->show();
        QVERIFY(f->ui->Label7->isVisible());
        hover(f->ui->Panel1, freePanelPoint(f->ui->Panel1));
        QVERIFY(!f->ui->Label7->isVisible());
        QVERIFY(!f->ui->ListBox1->isVisible());
    }

    void helpButtonAsksForTheHelpPage() {
        TestProgram t;
        TForm1* f = t.form1();
        QStringList requests;
        const DesktopRequest original = documentOpener();
        documentOpener() = [&requests](const QString& path) {
            requests << path;
            return true;
        };
        QTest::mouseClick(f->ui->Panel9, Qt::RightButton);
        QVERIFY(requests.isEmpty());
        const QPoint panelBefore = f->ui->Panel1->pos();
        QTest::mouseClick(f->ui->Panel9, Qt::LeftButton);
        documentOpener() = original;
        QCOMPARE(requests.size(), 1);
        QVERIFY(requests[0].endsWith(QStringLiteral("/help/index.html")));
        QVERIFY(QFileInfo(requests[0]).isAbsolute());
        QCOMPARE(f->ui->Panel1->pos(), panelBefore);
        QCOMPARE(t.st().PanelDragX, 0);  // the press did not reach the side panel
    }
};

QTEST_MAIN(ViewerZoomTest)
#include "viewer_zoom_test.moc"
