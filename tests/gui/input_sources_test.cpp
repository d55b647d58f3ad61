// Pictures from a drop and from the sample button, through the image-size dialog answered by a
// timer; drops are real drop events sent to the main window.
#include "common/jpeg_codec.h"
#include "gui_support.h"
#include "ui_form1.h"
#include "ui_form2.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

using namespace nocturo;
using namespace nocturo::testing;

class InputSourcesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir pictures;

    QString plainJpeg(const QString& name, int w = 320, int h = 200) { return writePlainJpeg(pictures.path(), name, w, h); }

    // Answers the image-size dialog: records what it showed, sets the long side and accepts or
    // cancels.
    struct DialogSeen {
        bool shown = false;
        QString label3, label5;
        bool stripEnabled = true;
    };
    [[nodiscard]] static ModalAnswer answerImageSize(DialogSeen* seen, const QString& longSide, bool resize, bool ok,
                                                     const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        return answerNextModal<TForm2>(
            [=](TForm2* dlg) {
                seen->shown = true;
                seen->label3 = dlg->ui->Label3->text();
                seen->label5 = dlg->ui->Label5->text();
                seen->stripEnabled = dlg->ui->CheckBox1->isEnabled();
                (resize ? dlg->ui->RadioButton2 : dlg->ui->RadioButton1)->setChecked(true);
                dlg->ui->ComboBox1->setEditText(longSide);
                if (ok)
                    dlg->ui->Button1->click();
                else
                    dlg->ui->Button2->click();
            },
            file, line);
    }

private slots:
    void droppedJpegGoesThroughTheDialogAndLoads() {
        TestProgram t;
        const QString path = plainJpeg("night.JPG", 640, 400);
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "320", true, true);
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(answer.answered());
        // No shooting date: a red note instead of the size, and the strip check box disabled.
        QCOMPARE(seen.label3, QString());
        QCOMPARE(seen.label5, QStringLiteral("( 撮影データは記録されていません）"));
        QVERIFY(!seen.stripEnabled);
        QCOMPARE(t.st().PicturePath, path);
        QCOMPARE(t.st().WorkWidth, 320);
        QCOMPARE(t.st().WorkHeight, 200);
        QCOMPARE(t.st().SourceImage.height(), 200);  // no strip without a date
        QCOMPARE(t.form1()->windowTitle(), QStringLiteral("Nocturo : ") + path);
    }

    void dropsThatDoNotQualifyAreIgnored_data() {
        QTest::addColumn<QStringList>("files");
        const QString jpeg = plainJpeg("a.jpeg");
        const QString good = plainJpeg("b.jpg");
        const QString folder = pictures.filePath("x.jpg");  // a folder with a picture's name
        QVERIFY(QDir().mkpath(folder));
        QTest::newRow("ends in .jpeg") << QStringList{jpeg};
        QTest::newRow("missing file") << QStringList{pictures.filePath("gone.jpg")};
        QTest::newRow("a folder") << QStringList{folder};
        QTest::newRow("first of three does not qualify") << QStringList{jpeg, good, good};
    }

    void dropsThatDoNotQualifyAreIgnored() {
        QFETCH(QStringList, files);
        TestProgram t;
        const QString before = t.st().PicturePath;
        // A drop taken for a picture opens the image-size dialog: closed at once, and a fault.
        const NoModalExpected noDialog("the image-size dialog");
        QVERIFY(dropFiles(t.form1(), files));
        QTest::qWait(30);
        QVERIFY(!noDialog.shown());
        QCOMPARE(t.st().PicturePath, before);
        QCOMPARE(t.form1()->windowTitle(), QStringLiteral("Nocturo /  SamplePicture"));
    }

    void onlyTheFirstOfSeveralFilesIsLoadedAndANameWithoutDotQualifies() {
        TestProgram t;
        const QString first = plainJpeg("xjpg", 100, 80);
        const QString second = plainJpeg("second.jpg", 50, 50);
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "1280", false, true);
        QVERIFY(dropFiles(t.form1(), {first, second}));
        QVERIFY(answer.answered());
        QCOMPARE(t.st().PicturePath, first);
        QCOMPARE(t.st().WorkWidth, 100);
    }

    void cancelledDialogLoadsNothingButRemembersTheFile() {
        TestProgram t;
        const WorkImage before = t.st().SourceImage.clone();
        const QString path = plainJpeg("c.jpg");
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "640", true, false);
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(answer.answered());
        QVERIFY(sameImages(t.st().SourceImage, before));
        QCOMPARE(t.st().PicturePath, path);  // recorded as the last picture all the same
    }

    void longSideOfLettersFailsTheConversionAndLoadsNothing() {
        TestProgram t;
        const WorkImage before = t.st().SourceImage.clone();
        const QString path = plainJpeg("d.jpg");
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "abc", false, true);
        QString message;
        // The conversion message comes after the dialog has closed.
        auto messageAnswer = acceptNextMessage(&message);
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(answer.answered());
        QVERIFY(messageAnswer.wait());
        QCOMPARE(message, QStringLiteral("'abc' は整数ではありません"));
        QVERIFY(sameImages(t.st().SourceImage, before));
    }

    void sampleDroppedAsADatedPictureShowsItsSizeAndKeepsTheStrip() {
        TestProgram t;
        const QString path = pictures.filePath("sample.jpg");
        QVERIFY(QFile::copy(QStringLiteral(NOCTURO_RESOURCES "/sample.jpg"), path));
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "1280", false, true);
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(answer.answered());
        QCOMPARE(seen.label3, QStringLiteral("( 1286 x 820 pixels)"));
        QCOMPARE(seen.label5, QString());
        QVERIFY(seen.stripEnabled);
        QCOMPARE(t.st().SourceImage.height(), 835);
        QCOMPARE(t.form1()->ui->Label4->text(), QStringLiteral("sample.jpg"));
    }

    void rightPressOnThePictureButtonShowsTheSample() {
        TestProgram t;
        const QString path = plainJpeg("e.jpg");
        t.st().PicturePath = path;
        t.form1()->LoadPicture();
        t.st().DisplayMode = 2;
        QTest::mousePress(t.form1()->ui->Button1, Qt::RightButton, {}, QPoint(5, 5));
        QTest::mouseRelease(t.form1()->ui->Button1, Qt::RightButton, {}, QPoint(5, 5));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(t.form1()->windowTitle(), QStringLiteral("Nocturo /  SamplePicture"));
        QCOMPARE(t.form1()->ui->Label4->text(), QStringLiteral("SAMPLE"));
        QCOMPARE(t.st().DisplayMode, 1);
        QCOMPARE(t.st().SourceImage.height(), 835);
    }
};

QTEST_MAIN(InputSourcesTest)
#include "input_sources_test.moc"
