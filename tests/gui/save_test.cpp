// Saving the processed picture through the real Button3: the save dialog answered by a timer
// (left button) and the default file handed to the image editor (any other button).
#include "common/jpeg_codec.h"
#include "app/desktop.h"
#include "exif/exif_info.h"
#include "extract/saving.h"
#include "gui_support.h"
#include "ui_form1.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

#include <optional>

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

    // A left-button save under a name, with no message box after the dialog.
    [[nodiscard]] static bool saveAsWithoutMessage(TForm1* f, const QString& name) {
        return passes([&] {
            std::optional<NoModalExpected> noMessage;
            const auto answer = answerNextModal<QFileDialog>([&](QFileDialog* dlg) {
                if (auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    edit->setText(name);
                else
                    dlg->selectFile(name);
                static_cast<QDialog*>(dlg)->accept();
                if (dlg->isVisible()) dlg->reject();
                noMessage.emplace("a message after the save");
            });
            press(f->ui->Button3, Qt::LeftButton);
            QVERIFY(answer.answered());
            noMessage.reset();
        });
    }

    // A saved file without its EXIF block (the sample carries one): the encoded picture alone.
    static QByteArray pictureOf(const QByteArray& file) {
        QByteArray out = file.left(2);
        qsizetype at = 2;
        while (at + 4 <= file.size() && static_cast<unsigned char>(file[at]) == 0xFF &&
               static_cast<unsigned char>(file[at + 1]) != 0xDA) {
            const qsizetype length =
                (static_cast<unsigned char>(file[at + 2]) << 8) | static_cast<unsigned char>(file[at + 3]);
            const bool exif = static_cast<unsigned char>(file[at + 1]) == 0xE1 && file.mid(at + 4, 6) == QByteArray("Exif\0\0", 6);
            if (!exif) out += file.mid(at, 2 + length);
            at += 2 + length;
        }
        return out + file.mid(at);
    }

    // Loads a picture file at its own size, as the open dialog would.
    [[nodiscard]] static bool load(TestProgram& t, const QString& path) {
        return passes([&] {
            t.st().PicturePath = path;
            t.st().ResizeOnLoad = 0;
            const NoModalExpected noMessage("a message about the load");
            t.form1()->LoadPicture();
            QCOMPARE(t.st().PicturePath, path);
        });
    }

    // The saved file carries the camera file's EXIF, made over for the saved picture.
    [[nodiscard]] static bool verifySavedExif(const QString& saved, const QString& camera, const ProgramState& st,
                                              bool invert) {
        return passes([&] {
            TExifInfo was, now;
            was.setImageFileName(camera);
            now.setImageFileName(saved);
            QVERIFY(now.Entrys().Count() > 0);
            QCOMPARE(now.Make(), was.Make());
            QCOMPARE(now.Model(), was.Model());
            QCOMPARE(now.DateTimeOriginalText(), was.DateTimeOriginalText());
            QCOMPARE(now.ExposureTime()->Text(), was.ExposureTime()->Text());
            QCOMPARE(int(now.Orientation()), int(was.Orientation()));
            QCOMPARE(now.PixelXDimension(), st.ProcessedImage.width());
            QCOMPARE(now.PixelYDimension(), st.ProcessedImage.height());
            QCOMPARE(now.Software(), QStringLiteral("Nocturo " NOCTURO_VERSION));
            const QDateTime at = QDateTime::fromString(now.DateTimeText(), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
            QVERIFY2(at.isValid() && std::abs(at.secsTo(QDateTime::currentDateTime())) < 120, qPrintable(now.DateTimeText()));
            // The thumbnail shows the saved picture, inverted with it.
            QImage thumb;
            now.GetThumbnail(thumb);
            QVERIFY(!thumb.isNull());
            const WorkImage picture = jpeg::decodeFile(saved);
            const ColorValue big = picture.pixel(picture.width() / 2, picture.height() / 4);
            const QColor small = thumb.pixelColor(thumb.width() / 2, thumb.height() / 4);
            QVERIFY2(std::abs(small.green() - colorGreen(big)) < 48,
                     qPrintable(QStringLiteral("%1 %2").arg(small.green()).arg(colorGreen(big))));
            const ColorValue processed = st.ProcessedImage.pixel(picture.width() / 2, picture.height() / 4);
            const int expectedGreen = invert ? 255 - colorGreen(processed) : colorGreen(processed);
            QVERIFY(std::abs(colorGreen(big) - expectedGreen) < 24);
        });
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
        QVERIFY(pictureOf(readFile(savedPath)) == jpeg::encode(st.ProcessedImage, quality));
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
        QVERIFY(pictureOf(readFile(t.path("inv.jpg"))) == jpeg::encode(inverted(st.ProcessedImage), 80));

        // Unchecked again: the right-button path saves the plain picture.
        st.DefaultSavePath = t.path("Pictures/無題.jpg");
        QTest::mouseClick(f->ui->RadioButton4, Qt::LeftButton);
        QTest::mouseClick(f->ui->CheckBox1, Qt::LeftButton);
        QVERIFY(!f->ui->CheckBox1->isChecked());
        press(f->ui->Button3, Qt::RightButton);
        QCOMPARE(st.InvertDisplay, 0);
        QVERIFY(pictureOf(readFile(st.DefaultSavePath)) == jpeg::encode(st.ProcessedImage, 80));
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
        QVERIFY(pictureOf(readFile(target)) == jpeg::encode(st.ProcessedImage, 80));
        QCOMPARE(opened, QStringList{target});

        // A second save replaces the first.
        f->ui->ComboBox4->setEditText("30");
        press(f->ui->Button3, Qt::MiddleButton);
        QCOMPARE(beeps, 2);
        QVERIFY(pictureOf(readFile(target)) == jpeg::encode(st.ProcessedImage, 30));
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

    void bothButtonsKeepTheShootingDataOfTheLoadedPicture_data() {
        QTest::addColumn<bool>("invert");
        QTest::newRow("plain") << false;
        QTest::newRow("inverted") << true;
    }

    void bothButtonsKeepTheShootingDataOfTheLoadedPicture() {
        QFETCH(bool, invert);
        TestProgram t;
        const QString camera = t.path("camera.jpg");
        QVERIFY(QFile::copy(QStringLiteral(NOCTURO_FIXTURES "/exif/Canon_40D.jpg"), camera));
        QVERIFY(load(t, camera));
        QVERIFY(process(t));
        ProgramState& st = t.st();
        TForm1* f = t.form1();
        f->ui->CheckBox1->setChecked(invert);
        // What is saved is what was loaded, whatever happens to the file meanwhile.
        const QString original = t.path("original.jpg");
        QVERIFY(QFile::copy(camera, original));
        QVERIFY(QFile::remove(camera));

        QVERIFY(saveAsWithoutMessage(f, t.path("sky.jpg")));
        QVERIFY(verifySavedExif(t.path("sky.jpg"), original, st, invert));
        QVERIFY(scratchFilesGone(st));

        st.DefaultSavePath = t.path("pictures/無題.jpg");
        {
            const NoModalExpected noMessage("a message after the save");
            press(f->ui->Button3, Qt::RightButton);
        }
        QCOMPARE(opened, QStringList{st.DefaultSavePath});
        QVERIFY(verifySavedExif(st.DefaultSavePath, original, st, invert));
    }

    void aPictureWithoutExifIsSavedWithoutAndAFailedExifStepIsReported() {
        TestProgram t;
        ProgramState& st = t.st();
        TForm1* f = t.form1();

        // A picture without EXIF gives a saved picture without EXIF.
        const QString bare = t.path("bare.jpg");
        writeFile(bare, jpeg::encode(st.SourceImage, 90));
        QVERIFY(load(t, bare));
        QVERIFY(process(t));
        QVERIFY(saveAsWithoutMessage(f, t.path("bare-saved.jpg")));
        QVERIFY(readFile(t.path("bare-saved.jpg")) == jpeg::encode(st.ProcessedImage, 80));

        // An EXIF block that has no room left for the thumbnail: the picture is saved without
        // EXIF and the user is told why.
        TExifInfo big;
        MemoryStream note(QByteArray(64000, 'n'));
        big.WriteToMakerNote(note, 0);
        big.setMake("Maker");
        const QString full = t.path("full.jpg");
        writeFile(full, jpeg::encode(st.SourceImage, 90));
        QVERIFY(big.WriteExif(full, false));
        QVERIFY(load(t, full));
        QVERIFY(process(t));
        QString message;
        DialogSeen seen;
        const auto answer = answerSaveDialog(t.path("full-saved.jpg"), &seen);
        const auto messageAnswer = acceptNextMessage(&message);
        press(f->ui->Button3, Qt::LeftButton);
        QVERIFY(answer.answered());
        QVERIFY(messageAnswer.answered());
        QVERIFY2(message.startsWith(QStringLiteral("撮影データ (EXIF) を書き込めなかったため、EXIFなしで保存しました")),
                 qPrintable(message));
        QVERIFY(readFile(t.path("full-saved.jpg")) == jpeg::encode(st.ProcessedImage, 80));
        QVERIFY(scratchFilesGone(st));
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
