// Start-up and loading through the real windows: the sample at first start, the designed side
// panel, pictures that load, pictures that fail and keep the previous one.
#include "common/jpeg_codec.h"
#include "gui_support.h"
#include "ui_form1.h"
#include "ui_form2.h"

#include <QLineEdit>
#include <QListWidget>

using namespace nocturo;
using namespace nocturo::testing;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartShowsTheSampleWithTheStrip() {
        TestProgram t;
        TForm1* f = t.form1();
        ProgramState& st = t.st();
        QCOMPARE(f->windowTitle(), QStringLiteral("Nocturo /  SamplePicture"));
        QCOMPARE(f->ui->Label4->text(), QStringLiteral("SAMPLE"));
        QCOMPARE(st.PicturePath, st.TempPath1);
        QVERIFY(!QFile::exists(st.TempPath1));  // the extracted sample is gone again
        QCOMPARE(st.WorkWidth, 1286);
        QCOMPARE(st.WorkHeight, 820);
        QCOMPARE(st.SourceImage.width(), 1286);
        QCOMPARE(st.SourceImage.height(), 835);
        QCOMPARE(st.MarkImage.height(), 820);
        QVERIFY(sameImages(st.SourceImage, st.ProcessedImage));
        QVERIFY(allPixels(st.MarkImage, kBlack));
        QCOMPARE(st.ProcessState, 1);
        QCOMPARE(st.DisplayMode, 1);
        QCOMPARE(st.ZoomFactor, 1.0f);
        QCOMPARE(st.PanAnchorX, -10);

        QListWidget* list = f->ui->ListBox1;
        QCOMPARE(list->count(), 8);
        QCOMPARE(list->height(), 95);
        QCOMPARE(list->item(0)->text(), QStringLiteral("ｻｲｽﾞ:1286 x 835"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("(原画 :1286 x 820)"));
        QCOMPARE(list->item(2)->text(), QStringLiteral("日時:2024/08/10 22:48:30"));

        // The strip under the picture carries dark text; the picture rows above it do not end
        // in white.
        int dark = 0;
        for (int y = 821; y < 835; ++y)
            for (int x = 0; x < 1286; ++x) dark += colorRed(st.SourceImage.pixel(x, y)) < 100;
        QVERIFY(dark > 50);
    }

    void firstStartHasTheDesignedSidePanel() {
        TestProgram t;
        auto* ui = t.form1()->ui.get();
        QCOMPARE(ui->ComboBox1->currentText(), QStringLiteral("10"));
        QCOMPARE(ui->ComboBox2->currentText(), QStringLiteral("30"));
        QCOMPARE(ui->ComboBox3->currentText(), QStringLiteral("0"));
        QCOMPARE(ui->ComboBox4->currentText(), QStringLiteral("50"));
        QCOMPARE(ui->ComboBox1->count(), 39);
        QCOMPARE(ui->ComboBox1->itemText(31), QStringLiteral("40"));
        QCOMPARE(ui->ComboBox1->itemText(33), QStringLiteral("50"));
        QCOMPARE(ui->ComboBox1->itemText(38), QStringLiteral("100"));
        QCOMPARE(ui->ComboBox2->count(), 27);
        QCOMPARE(ui->ComboBox2->itemText(14), QStringLiteral("18"));
        QCOMPARE(ui->ComboBox2->itemText(21), QStringLiteral("50"));
        QCOMPARE(ui->ComboBox3->count(), 21);
        QCOMPARE(ui->ComboBox3->itemText(0), QStringLiteral("-100"));
        QCOMPARE(ui->ComboBox4->count(), 9);
        QVERIFY(ui->CheckBox2->isChecked());
        QCOMPARE(t.form1()->panel2Color(), kBlack);
        QCOMPARE(ui->Panel1->height(), 420);
        QVERIFY(!ui->RadioButton3->isChecked());
        QVERIFY(!ui->RadioButton4->isChecked());
        for (QWidget* hidden : {static_cast<QWidget*>(ui->Button3), static_cast<QWidget*>(ui->GroupBox3),
                                static_cast<QWidget*>(ui->Label5), static_cast<QWidget*>(ui->ComboBox4),
                                static_cast<QWidget*>(ui->Button12), static_cast<QWidget*>(ui->ProgressBar1)})
            QVERIFY2(!hidden->isVisible(), qPrintable(hidden->objectName()));
        QCOMPARE(ui->ProgressBar1->pos(), QPoint(8, 366));
        QVERIFY(ui->Button2->isVisible());
    }

    void settingsOutsideTheListsShowAsTyped() {
        TestProgram t(QByteArray("SH,33\r\nLT,-5\r\nBIG,0\r\nBKCOL,255\r\n"));
        auto* ui = t.form1()->ui.get();
        QCOMPARE(ui->ComboBox1->currentText(), QStringLiteral("33"));
        QCOMPARE(ui->ComboBox2->currentText(), QStringLiteral("-5"));
        QVERIFY(!ui->CheckBox2->isChecked());
        QCOMPARE(t.form1()->panel2Color(), makeColor(255, 0, 0));
    }

    void lastPictureIsLoadedAgainWithItsOptions() {
        QTemporaryDir pics;
        const QString path = writePlainJpeg(pics.path(), "night.jpg", 640, 480);
        // No shooting date: the strip asked for by DATA,1 is not drawn.
        TestProgram t(QByteArray("PIC,") + path.toUtf8() + "\r\nCOMP,1\r\nPSIZE,320\r\nDATA,1\r\n");
        ProgramState& st = t.st();
        QCOMPARE(st.PicturePath, path);
        QCOMPARE(t.form1()->windowTitle(), QStringLiteral("Nocturo : ") + path);
        QCOMPARE(t.form1()->ui->Label4->text(), QStringLiteral("night.jpg"));
        QCOMPARE(st.WorkWidth, 320);
        QCOMPARE(st.WorkHeight, 240);
        QCOMPARE(st.SourceImage.height(), 240);
        QCOMPARE(st.ShotDataStrip, 0);
        QCOMPARE(t.form1()->ui->ListBox1->count(), 2);
        QCOMPARE(t.form1()->ui->ListBox1->height(), 33);
        QCOMPARE(t.form1()->ui->ListBox1->item(1)->text(), QStringLiteral("(原画 :640 x 480)"));
        QVERIFY(!QFile::exists(st.TempPath1));
    }

    void brokenLastPictureFallsBackToTheSampleWithAMessage() {
        QTemporaryDir pics;
        const QString broken = pics.filePath("broken.jpg");
        writeFile(broken, QByteArray::fromHex("FFD8FFE0") + " not really a JPEG");
        QString message;
        const auto messageAnswer = acceptNextMessage(&message);
        TestProgram t(QByteArray("PIC,") + broken.toUtf8() + "\r\nSH,abc\r\n");
        QCOMPARE(t.form1()->windowTitle(), QStringLiteral("Nocturo /  SamplePicture"));
        QCOMPARE(t.st().WorkWidth, 1286);
        // The threshold that was not a number keeps its default; both problems are told.
        QCOMPARE(t.form1()->ui->ComboBox1->currentText(), QStringLiteral("10"));
        QVERIFY(messageAnswer.wait());
        QVERIFY2(message.contains(broken), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("'abc' は整数ではありません")), qPrintable(message));
    }

    void failingLoadKeepsThePreviousPicture_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("this is a text file");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("truncated") << readFile(QStringLiteral(NOCTURO_RESOURCES "/sample.jpg")).left(5000);
    }

    void failingLoadKeepsThePreviousPicture() {
        QFETCH(QByteArray, bytes);
        TestProgram t;
        ProgramState& st = t.st();
        const WorkImage before = st.SourceImage.clone();
        const QString title = t.form1()->windowTitle();
        const QString path = t.path(QStringLiteral("bad.jpg"));
        writeFile(path, bytes);
        st.PicturePath = path;
        st.ResizeOnLoad = 0;
        QString message;
        const auto messageAnswer = acceptNextMessage(&message);
        t.form1()->LoadPicture();
        QVERIFY(messageAnswer.answered());
        QVERIFY2(message.contains(path), qPrintable(message));
        QVERIFY(sameImages(st.SourceImage, before));
        QCOMPARE(st.ProcessedImage.height(), 835);
        QCOMPARE(t.form1()->windowTitle(), title);
        QCOMPARE(t.form1()->ui->Label4->text(), QStringLiteral("SAMPLE"));
    }

    // The lists offer their fixed values only: what the user types and confirms with Enter stays
    // in the edit field and is not added.
    void typedValuesStayOutOfTheLists() {
        TestProgram t;
        QTRY_VERIFY_WITH_TIMEOUT(!t.form1()->Timer1->isActive(), 3000);  // the dialog filled too
        auto* ui = t.form1()->ui.get();
        t.form2()->ui->RadioButton2->setChecked(true);  // its long side may be edited now
        const QList<QComboBox*> boxes{ui->ComboBox1, ui->ComboBox2, ui->ComboBox3, ui->ComboBox4,
                                      t.form2()->ui->ComboBox1};
        for (QComboBox* box : boxes) {
            QStringList before;
            for (int i = 0; i < box->count(); ++i) before << box->itemText(i);
            for (const char* typed : {"33", "-7", "abc"}) {
                box->lineEdit()->clear();
                QTest::keyClicks(box->lineEdit(), typed);
                QTest::keyClick(box->lineEdit(), Qt::Key_Return);
                QCOMPARE(box->currentText(), QString::fromLatin1(typed));
            }
            QStringList after;
            for (int i = 0; i < box->count(); ++i) after << box->itemText(i);
            QCOMPARE(after, before);
        }
        QCOMPARE(ui->ComboBox1->count(), 39);
    }

    void imageSizeDialogHasItsDesignedStateUntilTheFirstTick() {
        TestProgram t(QByteArray("COMP,1\r\nPSIZE,960\r\nDATA,0\r\n"));
        auto* ui2 = t.form2()->ui.get();
        QVERIFY(ui2->RadioButton1->isChecked());
        QCOMPARE(ui2->ComboBox1->currentText(), QStringLiteral("1280"));
        QVERIFY(!ui2->ComboBox1->isEnabled());
        QVERIFY(ui2->CheckBox1->isChecked());
        // The first tick comes about a second after start and fills the dialog from the file.
        QTRY_VERIFY_WITH_TIMEOUT(ui2->RadioButton2->isChecked(), 3000);
        QCOMPARE(ui2->ComboBox1->currentText(), QStringLiteral("960"));
        QCOMPARE(ui2->ComboBox1->count(), 9);
        QVERIFY(ui2->ComboBox1->isEnabled());
        QVERIFY(ui2->Label1->isEnabled());
        QVERIFY(!ui2->CheckBox1->isChecked());
        QVERIFY(!t.form1()->Timer1->isActive());
    }
};

QTEST_MAIN(StartupTest)
#include "app_startup_test.moc"
