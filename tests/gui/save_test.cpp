// Saving the processed picture through the real Button3: the save dialog answered by a timer
// (left button) and the default file handed to the image editor (any other button).
#include "common/jpeg_codec.h"
#include "app/desktop.h"
#include "gui_support.h"
#include "ui_form1.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

using namespace nocturo;
using namespace nocturo::testing;

class SaveTest : public QObject {
    Q_OBJECT

private:
    QStringList opened;
    bool openSucceeds = true;
    int beeps = 0;

    static void press(QWidget* w, Qt::MouseButton button) {
        QTest::mousePress(w, button, {}, QPoint(5, 5));
        QTest::mouseRelease(w, button, {}, QPoint(5, 5));
    }

    // A program that has processed the sample, so that Button3 is on the panel.
    [[nodiscard]] static bool process(TestProgram& t) {
        return passes([&] {
            press(t.form1()->ui->Button2, Qt::LeftButton);
            QCOMPARE(t.st().ProcessState, 2);
            QVERIFY(t.form1()->ui->Button3->isVisible());
            t.form1()->ui->ComboBox4->setEditText("80");
        });
    }

    // What the save dialog looked like when it was answered.
    struct DialogSeen {
        bool shown = false;
        bool saveMode = false;
        QStringList filters;
        bool asksBeforeReplacing = true;
        QStringList selected;
    };

    // Answers the save dialog with a name, or cancels it when chosen is empty.
    [[nodiscard]] static ModalAnswer answerSaveDialog(const QString& chosen, DialogSeen* seen,
                                                      const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        return answerNextModal<QFileDialog>(
            [=](QFileDialog* dlg) {
                seen->shown = true;
                seen->saveMode = dlg->acceptMode() == QFileDialog::AcceptSave;
                seen->filters = dlg->nameFilters();
                seen->asksBeforeReplacing = !dlg->testOption(QFileDialog::DontConfirmOverwrite);
                if (chosen.isEmpty()) {
                    dlg->reject();
                    return;
                }
                // Typed as the user would: selectFile leaves a focused name field alone.
                if (auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(chosen);
                else
                    dlg->selectFile(chosen);
                seen->selected = dlg->selectedFiles();
                static_cast<QDialog*>(dlg)->accept();  // the dialog's own accept, as its Save button
                if (dlg->isVisible()) dlg->reject();  // a refused name must not hang the test
            },
            file, line);
    }

    [[nodiscard]] static bool verifyDialog(const DialogSeen& seen) {
        return passes([&] {
            QVERIFY(seen.shown);
            QVERIFY(seen.saveMode);
            QCOMPARE(seen.filters, QStringList{"JPG(*.jpg)"});
            QVERIFY(!seen.asksBeforeReplacing);
        });
    }

    // A scratch file as a load leaves it behind; a save removes both.
    static void leaveScratchFiles(const ProgramState& st) {
        writeFile(st.TempPath1, "scratch of a load");
        writeFile(st.TempPath2, "scratch of a save");
    }

    static WorkImage inverted(const WorkImage& img) {
        WorkImage out(img.width(), img.height());
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const ColorValue c = img.pixel(x, y);
                out.setPixel(x, y, makeColor(255 - colorRed(c), 255 - colorGreen(c), 255 - colorBlue(c)));
            }
        return out;
    }

    static bool scratchFilesGone(const ProgramState& st) {
        return !QFile::exists(st.TempPath1) && !QFile::exists(st.TempPath2);
    }

private slots:
    void initTestCase() {
        documentOpener() = [this](const QString& path) {
            opened << path;
            return openSucceeds;
        };
    }

    void init() {
        opened.clear();
        openSucceeds = true;
        beeper() = [this] { ++beeps; };
    }

    void leftButtonSavesUnderTheChosenName_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("qualityText");
        QTest::addColumn<int>("quality");
        QTest::newRow("no extension") << "pic" << "pic.jpg" << "80" << 80;
        QTest::newRow("another extension, an old file replaced") << "pic.png" << "pic.png" << "300" << 44;
        QTest::newRow("a dot in the folder is no extension") << "a.b/pic" << "a.b/pic.jpg" << "0" << 1;
        QTest::newRow("replaced without a question") << "pic.jpg" << "pic.jpg" << "150" << 100;
    }

    void leftButtonSavesUnderTheChosenName() {
        QFETCH(QString, chosen);
        QFETCH(QString, saved);
        QFETCH(QString, qualityText);
        QFETCH(int, quality);
        TestProgram t;
        QVERIFY(process(t));
        ProgramState& st = t.st();
        TForm1* f = t.form1();
        // The sample carries the shooting-data strip, and the whole image is saved with it.
        QCOMPARE(st.ProcessedImage.height(), st.WorkHeight + 15);
        QVERIFY(QDir().mkpath(t.path("a.b")));
        writeFile(t.path("pic.png"), "not a picture");
        writeFile(t.path("pic.jpg"), "an older picture");
        const QString savedPath = t.path(saved);
        f->ui->ComboBox4->setEditText(qualityText);
        DialogSeen seen;
        leaveScratchFiles(st);
        const auto answer = answerSaveDialog(t.path(chosen), &seen);
        beeps = 0;
        press(f->ui->Button3, Qt::LeftButton);
        QVERIFY(answer.answered());
        QCOMPARE(beeps, 1);
        QVERIFY(verifyDialog(seen));
        QCOMPARE(seen.selected, QStringList{t.path(chosen)});
        QCOMPARE(st.SaveFileName, savedPath);
        QCOMPARE(st.SaveQuality, qualityText.toInt());
        QVERIFY(readFile(savedPath) == jpeg::encode(st.ProcessedImage, quality));
        QCOMPARE(jpeg::readHeader(savedPath).height, st.SourceImage.height());
        QVERIFY(scratchFilesGone(st));
        QVERIFY(!QFile::exists(t.path("pic")));
        QVERIFY(!QFile::exists(t.path("a.b/pic")));
        QVERIFY(opened.isEmpty());
    }

    void invertedWhenCheckedAlsoWhileTheOriginalIsShown() {
        TestProgram t;
        QVERIFY(process(t));
        ProgramState& st = t.st();
        TForm1* f = t.form1();
        QTest::mouseClick(f->ui->CheckBox1, Qt::LeftButton);
        QVERIFY(f->ui->CheckBox1->isChecked());
        QTest::mouseClick(f->ui->RadioButton3, Qt::LeftButton);
        QCOMPARE(st.DisplayMode, 1);
        DialogSeen seen;
        const auto answer = answerSaveDialog(t.path("inv.jpg"), &seen);
        press(f->ui->Button3, Qt::LeftButton);
        QVERIFY(answer.answered());
        QVERIFY(verifyDialog(seen));
        QCOMPARE(st.InvertDisplay, 1);
        QVERIFY(readFile(t.path("inv.jpg")) == jpeg::encode(inverted(st.ProcessedImage), 80));

        // Unchecked again: the right-button path saves the plain picture.
        st.DefaultSavePath = t.path("Pictures/無題.jpg");
        QTest::mouseClick(f->ui->RadioButton4, Qt::LeftButton);
        QTest::mouseClick(f->ui->CheckBox1, Qt::LeftButton);
        QVERIFY(!f->ui->CheckBox1->isChecked());
        press(f->ui->Button3, Qt::RightButton);
        QCOMPARE(st.InvertDisplay, 0);
        QVERIFY(readFile(st.DefaultSavePath) == jpeg::encode(st.ProcessedImage, 80));
    }

    void otherButtonsSaveTheDefaultFileAndOpenIt() {
        TestProgram t;
        QVERIFY(process(t));
        ProgramState& st = t.st();
        TForm1* f = t.form1();
        const QString target = t.path("Pictures/無題.jpg");  // the folder does not exist yet
        st.DefaultSavePath = target;
        beeps = 0;
        press(f->ui->Button3, Qt::RightButton);
        QCOMPARE(beeps, 1);
        QCOMPARE(st.SaveFileName, target);
        QVERIFY(readFile(target) == jpeg::encode(st.ProcessedImage, 80));
        QCOMPARE(opened, QStringList{target});

        // A second save replaces the first.
        f->ui->ComboBox4->setEditText("30");
        press(f->ui->Button3, Qt::MiddleButton);
        QCOMPARE(beeps, 2);
        QVERIFY(readFile(target) == jpeg::encode(st.ProcessedImage, 30));
        QCOMPARE(opened, (QStringList{target, target}));

        // An open that fails is told.
        openSucceeds = false;
        QString message;
        const auto messageAnswer = acceptNextMessage(&message);
        press(f->ui->Button3, Qt::RightButton);
        QVERIFY(messageAnswer.answered());
        QVERIFY2(message.contains(target), qPrintable(message));
        QCOMPARE(opened.size(), 3);
    }

    void cancelOrQualityThatIsNotANumberWritesNothing() {
        TestProgram t;
        QVERIFY(process(t));
        ProgramState& st = t.st();
        TForm1* f = t.form1();
        st.DefaultSavePath = t.path("Pictures/無題.jpg");
        const QStringList before = QDir(t.folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        beeps = 0;

        {
            DialogSeen cancelled;
            const auto answer = answerSaveDialog(QString(), &cancelled);
            press(f->ui->Button3, Qt::LeftButton);
            QVERIFY(answer.answered());
            QVERIFY(verifyDialog(cancelled));
        }

        f->ui->ComboBox4->setEditText("abc");
        QString message;
        {
            DialogSeen seen;
            const auto answer = answerSaveDialog(t.path("bad.jpg"), &seen);
            const auto messageAnswer = acceptNextMessage(&message);
            press(f->ui->Button3, Qt::LeftButton);
            QVERIFY(answer.answered());
            QVERIFY(messageAnswer.answered());
            QCOMPARE(message, QStringLiteral("'abc' は整数ではありません"));
        }

        message.clear();
        {
            const auto messageAnswer = acceptNextMessage(&message);
            press(f->ui->Button3, Qt::RightButton);
            QVERIFY(messageAnswer.answered());
            QCOMPARE(message, QStringLiteral("'abc' は整数ではありません"));
        }

        QCOMPARE(QDir(t.folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(!QFile::exists(st.DefaultSavePath));
        QVERIFY(opened.isEmpty());
        QCOMPARE(beeps, 0);  // nothing was written
    }

    // Back, forward and the other extra buttons of a mouse neither save nor open anything.
    void extraMouseButtonsDoNothingOnTheSaveButton() {
        TestProgram t;
        QVERIFY(process(t));
        ProgramState& st = t.st();
        st.DefaultSavePath = t.path("Pictures/無題.jpg");
        beeps = 0;
        const NoModalExpected noDialog("a dialog for an extra mouse button");
        for (const Qt::MouseButton b : {Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton3}) press(t.form1()->ui->Button3, b);
        QTest::qWait(30);
        QVERIFY(!QFile::exists(st.DefaultSavePath));
        QVERIFY(opened.isEmpty());
        QCOMPARE(beeps, 0);
    }

    void unwritableTargetsAreReported() {
        TestProgram t;
        QVERIFY(process(t));
        ProgramState& st = t.st();
        TForm1* f = t.form1();

        // Left: the chosen folder does not exist; the scratch files still go.
        const QString chosen = t.path("missing/pic.jpg");
        QString message;
        {
            DialogSeen seen;
            leaveScratchFiles(st);
            const auto answer = answerSaveDialog(chosen, &seen);
            const auto messageAnswer = acceptNextMessage(&message);
            press(f->ui->Button3, Qt::LeftButton);
            QVERIFY(answer.answered());
            QVERIFY(messageAnswer.answered());
            QVERIFY(verifyDialog(seen));
            QVERIFY2(message.contains(chosen), qPrintable(message));
            QVERIFY(!QFile::exists(chosen));
            QVERIFY(scratchFilesGone(st));
        }

        // Other: the picture folder cannot be created (a file is in the way); nothing is opened.
        writeFile(t.path("blocker"), "x");
        st.DefaultSavePath = t.path("blocker/無題.jpg");
        message.clear();
        const auto messageAnswer = acceptNextMessage(&message);
        beeps = 0;
        press(f->ui->Button3, Qt::RightButton);
        QVERIFY(messageAnswer.answered());
        QVERIFY2(message.contains(st.DefaultSavePath), qPrintable(message));
        QVERIFY(opened.isEmpty());
        QCOMPARE(beeps, 1);  // a save that fails to write still ends with the beep
    }
};

QTEST_MAIN(SaveTest)
#include "save_test.moc"
