// The processing commands through the real buttons: full-picture draw with the left and the
// right button, revert, the colour dialog, and a threshold that is not a number.
#include "app/desktop.h"
#include "extract/processing.h"
#include "gui_support.h"
#include "ui_form1.h"

#include <QColorDialog>
#include <QMouseEvent>
#include <QPushButton>

using namespace nocturo;
using namespace nocturo::testing;

class ExtractCommandsTest : public QObject {
    Q_OBJECT

private:
    int beeps = 0;

    static void press(QWidget* w, Qt::MouseButton button) {
        QTest::mousePress(w, button, {}, QPoint(5, 5));
        QTest::mouseRelease(w, button, {}, QPoint(5, 5));
    }

    // What the engine gives for the sample at the panel's current values, on copies.
    static int engineCount(const ProgramState& st, const ExtractionParams& p, WorkImage& processed, WorkImage& marks) {
        processed = st.SourceImage.clone();
        marks = WorkImage(st.WorkWidth, st.WorkHeight);
        marks.fill(kBlack);
        WorkingImages images{st.SourceImage, processed, marks, st.WorkWidth, st.WorkHeight};
        return ProcessRectangle(images, fullPictureRect(st.SourceImage, st.ShotDataStrip), p);
    }

    static int greenPixels(const WorkImage& marks) {
        int n = 0;
        for (int y = 0; y < marks.height(); ++y)
            for (int x = 0; x < marks.width(); ++x) n += marks.pixel(x, y) == makeColor(0, 255, 0);
        return n;
    }

private slots:
    void init() {
        beeps = 0;
        beeper() = [this] { ++beeps; };
    }

    void leftPressDrawsTheWholePictureAndShowsTheCount() {
        TestProgram t;
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        f->ui->ComboBox1->setEditText("12");
        f->ui->ComboBox2->setEditText("40");
        f->ui->ComboBox3->setEditText("-30");
        press(f->ui->Button2, Qt::LeftButton);

        QCOMPARE(beeps, 1);
        QCOMPARE(st.ProcessState, 2);
        QCOMPARE(st.DisplayMode, 2);
        QVERIFY(f->ui->RadioButton4->isChecked());
        QCOMPARE(f->ui->Panel1->height(), 546);
        QVERIFY(f->ui->Button12->isVisible());
        QVERIFY(f->ui->GroupBox3->isVisible());
        QVERIFY(!f->ui->ProgressBar1->isVisible());
        QVERIFY(QApplication::overrideCursor() == nullptr);

        ExtractionParams p;
        p.StarThreshold = 12;
        p.BrightnessPercent = 40;
        p.SaturationPercent = -30;
        WorkImage processed, marks;
        const int expected = engineCount(st, p, processed, marks);
        QVERIFY(expected > 100);  // the sample has a few thousand stars
        QCOMPARE(st.StarCount, expected);
        QCOMPARE(f->ui->Edit1->text(), QString::number(expected));
        QCOMPARE(greenPixels(st.MarkImage), expected);
        QVERIFY(sameImages(st.ProcessedImage, processed));
        // The strip is never processed.
        for (int y = st.WorkHeight; y < st.SourceImage.height(); ++y)
            QCOMPARE(std::memcmp(st.ProcessedImage.row(y), st.SourceImage.row(y), st.SourceImage.width() * 3), 0);
        QCOMPARE(st.Proc.ProcBottom, st.WorkHeight - 1);
        QCOMPARE(st.Proc.ProcHeight, st.SourceImage.height());
    }

    void otherButtonsDrawTheBackgroundOnly() {
        TestProgram t;
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        press(f->ui->Button2, Qt::RightButton);
        QCOMPARE(st.BackgroundOnlyMode, 1);
        QCOMPARE(st.ProcessState, 2);
        QCOMPARE(f->ui->Edit1->text(), QStringLiteral("0"));
        QVERIFY(allPixels(st.MarkImage, kBlack));
        // Nothing gets brighter: pixels keep the original or take the (black) background.
        for (int y = 0; y < st.WorkHeight; y += 7)
            for (int x = 0; x < st.WorkWidth; x += 5) {
                const ColorValue out = st.ProcessedImage.pixel(x, y);
                QVERIFY(out == st.SourceImage.pixel(x, y) || out == kBlack);
            }
        press(f->ui->Button2, Qt::MiddleButton);
        QCOMPARE(st.BackgroundOnlyMode, 1);
        press(f->ui->Button2, Qt::LeftButton);
        QCOMPARE(st.BackgroundOnlyMode, 0);
        QVERIFY(st.StarCount > 0);
    }

    void secondPressOfADoubleClickDrawsToo() {
        TestProgram t;
        QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(5, 5), t.form1()->ui->Button2->mapToGlobal(QPointF(5, 5)),
                           Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        QCoreApplication::sendEvent(t.form1()->ui->Button2, &second);
        QCOMPARE(t.st().ProcessState, 2);
        QCOMPARE(t.st().BackgroundOnlyMode, 1);
    }

    // A real click: the release comes about 0.1 s after the press, while the draw dispatches
    // events in its last 0.2 s; or, from a quick test driver, after the draw has returned.
    void drawButtonLooksReleasedAfterTheDraw_data() {
        QTest::addColumn<bool>("releaseDuringTheDraw");
        QTest::newRow("released during the draw") << true;
        QTest::newRow("released after the draw") << false;
    }

    void drawButtonLooksReleasedAfterTheDraw() {
        QFETCH(bool, releaseDuringTheDraw);
        TestProgram t;
        QPushButton* button = t.form1()->ui->Button2;
        bool releasedInside = false;
        if (releaseDuringTheDraw)
            QTimer::singleShot(20, button, [&] {
                releasedInside = t.st().ProcessState == 1;  // the draw has not ended yet
                QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
            });
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(t.st().ProcessState, 2);
        QCOMPARE(releasedInside, releaseDuringTheDraw);
        if (!releaseDuringTheDraw) QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!button->isDown());
        QCOMPARE(beeps, 1);
        // And the next click draws again and leaves the button up as well.
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(beeps, 2);
        QVERIFY(!button->isDown());
    }

    // The back, forward and other extra buttons of a mouse command nothing; the colour panel
    // opens no dialog for them either.
    void extraMouseButtonsDoNothingOnTheDrawButtonAndTheColourPanel() {
        TestProgram t;
        TForm1* f = t.form1();
        const NoModalExpected noDialog("a dialog for an extra mouse button");
        for (const Qt::MouseButton b : {Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton3}) {
            press(f->ui->Button2, b);
            press(f->ui->Panel2, b);
        }
        QTest::qWait(30);
        QCOMPARE(t.st().ProcessState, 1);
        QCOMPARE(t.st().BackgroundOnlyMode, 0);
        QCOMPARE(beeps, 0);
    }

    // A program-internal failure is told in the user's language, without the engine's own words.
    void internalFailureIsToldInJapanese() {
        TestProgram t;
        ProgramState& st = t.st();
        QVERIFY(st.ShotDataStrip > 0);
        st.ShotDataStrip = 0;  // out of step with the sample's strip: the rectangle reaches it
        const WorkImage before = st.ProcessedImage.clone();
        QString message;
        const auto messageAnswer = acceptNextMessage(&message);
        press(t.form1()->ui->Button2, Qt::LeftButton);
        QVERIFY(messageAnswer.answered());
        QCOMPARE(message, QStringLiteral("プログラム内部のエラーのため、処理を中止しました。"));
        QVERIFY(sameImages(st.ProcessedImage, before));
        QCOMPARE(beeps, 0);
    }

    void revertShowsTheOriginalAndKeepsTheCount() {
        TestProgram t;
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        press(f->ui->Button2, Qt::LeftButton);
        const QString count = f->ui->Edit1->text();
        QVERIFY(!sameImages(st.ProcessedImage, st.SourceImage));
        QTest::mouseClick(f->ui->Button12, Qt::LeftButton);
        QCOMPARE(st.ProcessState, 1);
        QVERIFY(sameImages(st.ProcessedImage, st.SourceImage));
        QVERIFY(!f->ui->Button12->isVisible());
        QCOMPARE(f->ui->Panel1->height(), 420);
        QCOMPARE(f->ui->Edit1->text(), count);
        QCOMPARE(st.DisplayMode, 2);
        QCOMPARE(st.Proc.ProcBottom, st.SourceImage.height() - 1);
    }

    void colourDialogSetsTheSpecifiedColourOnlyWhenAccepted() {
        TestProgram t;
        TForm1* f = t.form1();
        {
            const auto answer = answerNextModal<QColorDialog>([](QColorDialog* dlg) {
                dlg->setCurrentColor(QColor(10, 20, 30));
                dlg->accept();
            });
            QTest::mouseClick(f->ui->Panel2, Qt::LeftButton);
            QVERIFY(answer.answered());
        }
        QVERIFY(f->ui->RadioButton2->isChecked());
        QCOMPARE(f->panel2Color(), makeColor(10, 20, 30));
        QCOMPARE(t.st().ProcessState, 1);  // nothing is drawn now

        f->ui->RadioButton1->setChecked(true);
        const auto answer = answerNextModal<QColorDialog>([](QColorDialog* dlg) {
            dlg->setCurrentColor(QColor(200, 0, 0));
            dlg->reject();
        });
        QTest::mouseClick(f->ui->Panel2, Qt::LeftButton);
        QVERIFY(answer.answered());
        QVERIFY(f->ui->RadioButton1->isChecked());
        QCOMPARE(f->panel2Color(), makeColor(10, 20, 30));
    }

    void thresholdThatIsNotANumberChangesNothing() {
        TestProgram t;
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        press(f->ui->Button2, Qt::LeftButton);  // a processed picture to keep
        const WorkImage before = st.ProcessedImage.clone();
        const WorkImage marksBefore = st.MarkImage.clone();
        const QString count = f->ui->Edit1->text();
        f->ui->ComboBox1->setEditText("abc");
        QString message;
        const auto messageAnswer = acceptNextMessage(&message);
        beeps = 0;
        press(f->ui->Button2, Qt::LeftButton);
        QVERIFY(messageAnswer.answered());
        QCOMPARE(message, QStringLiteral("'abc' は整数ではありません"));
        QCOMPARE(beeps, 0);  // a draw that ends in an error is no completed command
        QVERIFY(sameImages(st.ProcessedImage, before));
        QVERIFY(sameImages(st.MarkImage, marksBefore));
        QCOMPARE(f->ui->Edit1->text(), count);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(!f->ui->ProgressBar1->isVisible());
    }
};

QTEST_MAIN(ExtractCommandsTest)
#include "extract_commands_test.moc"
