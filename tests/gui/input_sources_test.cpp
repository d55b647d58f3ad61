// Pictures from a drop and from the sample button, through the image-size dialog answered by a
// timer; drops are real drop events sent to the main window.
#include "app/desktop.h"
#include "common/jpeg_codec.h"
#include "gui_support.h"
#include "ui_form1.h"
#include "ui_form2.h"

#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QListView>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include <optional>

using namespace nocturo;
using namespace nocturo::testing;

class InputSourcesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir pictures;
    int beeps = 0;
    int beepsWhenAnswered = -1;

    QString plainJpeg(const QString& name, int w = 320, int h = 200) { return writePlainJpeg(pictures.path(), name, w, h); }

    // The sample picture (a colour photograph with a shooting date) under another name.
    QString datedJpeg(const QString& name) {
        const QString path = pictures.filePath(name);
        QFile::remove(path);
        if (!QFile::copy(QStringLiteral(NOCTURO_RESOURCES "/sample.jpg"), path)) qFatal("cannot copy the sample");
        return path;
    }

    // The first half of a JPEG only: its header (and shooting data) but not all of its rows.
    static QString truncated(const QString& path) {
        const QByteArray bytes = readFile(path);
        const QString cut = path.left(path.lastIndexOf(u'.')) + QStringLiteral("-cut.jpg");
        writeFile(cut, bytes.left(bytes.size() / 2));
        return cut;
    }

    // Answers the image-size dialog: records what it showed, sets the long side and accepts or
    // cancels.
    struct DialogSeen {
        bool shown = false;
        QString label3, label5;
        bool stripEnabled = true;
    };
    [[nodiscard]] ModalAnswer answerImageSize(DialogSeen* seen, const QString& longSide, bool resize, bool ok,
                                              std::optional<bool> strip = std::nullopt,
                                              const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        return answerNextModal<TForm2>(
            [=, this](TForm2* dlg) {
                beepsWhenAnswered = beeps;
                seen->shown = true;
                seen->label3 = dlg->ui->Label3->text();
                seen->label5 = dlg->ui->Label5->text();
                seen->stripEnabled = dlg->ui->CheckBox1->isEnabled();
                (resize ? dlg->ui->RadioButton2 : dlg->ui->RadioButton1)->setChecked(true);
                dlg->ui->ComboBox1->setEditText(longSide);
                if (strip) dlg->ui->CheckBox1->setChecked(*strip);
                if (ok)
                    dlg->ui->Button1->click();
                else
                    dlg->ui->Button2->click();
            },
            file, line);
    }

    static void press(QWidget* w, Qt::MouseButton button) {
        QTest::mousePress(w, button, {}, QPoint(5, 5));
        QTest::mouseRelease(w, button, {}, QPoint(5, 5));
    }

    // The name patterns of a file-dialog filter such as "JPG (*.jpg *.JPG)".
    static QStringList filterPatterns(const QString& filter) {
        const qsizetype open = filter.lastIndexOf(u'('), close = filter.lastIndexOf(u')');
        if (open < 0 || close < open) return {};
        return filter.mid(open + 1, close - open - 1).split(u' ', Qt::SkipEmptyParts);
    }

    // Whether a native dialog, matching names with the letter case as written, lists the file.
    static bool listedByCaseSensitiveMatch(const QStringList& patterns, const QString& name) {
        for (const QString& p : patterns)
            if (QRegularExpression::fromWildcard(p, Qt::CaseSensitive).match(name).hasMatch()) return true;
        return false;
    }

private slots:
    void init() {
        beeps = 0;
        beepsWhenAnswered = -1;
        beeper() = [this] { ++beeps; };
    }

    void droppedJpegGoesThroughTheDialogAndLoads_data() {
        QTest::addColumn<QString>("name");
        // A file is taken by its suffix in any letter case, or by a name ending in jpg.
        for (const char* name : {"night.JPG", "night.jpg", "night.Jpg", "night.jpeg", "night.JPEG", "nightjpg"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void droppedJpegGoesThroughTheDialogAndLoads() {
        QFETCH(QString, name);
        TestProgram t;
        const QString path = plainJpeg(name, 640, 400);
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "320", true, true);
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(answer.wait());
        QCOMPARE(beepsWhenAnswered, 0);
        QCOMPARE(beeps, 1);  // once the load is over
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
        const QString png = plainJpeg("a.png");  // a JPEG, but not by its name
        const QString jpe = plainJpeg("a.jpe");
        const QString good = plainJpeg("b.jpg");
        const QString folder = pictures.filePath("x.jpg");  // a folder with a picture's name
        QVERIFY(QDir().mkpath(folder));
        QTest::newRow("ends in .png") << QStringList{png};
        QTest::newRow("ends in .jpe") << QStringList{jpe};
        QTest::newRow("missing file") << QStringList{pictures.filePath("gone.jpg")};
        QTest::newRow("a folder") << QStringList{folder};
        QTest::newRow("first of three does not qualify") << QStringList{png, good, good};
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
        QCOMPARE(beeps, 0);
    }

    // The program the file was dragged from waits until the drop returns: the dialog and the
    // load come after that, from the event loop.
    void dropReturnsBeforeTheDialogOpens() {
        TestProgram t;
        const QString path = plainJpeg("f.jpg", 300, 200);
        const QString before = t.st().PicturePath;
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "1280", false, true);
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(!answer.answered());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(t.st().PicturePath, before);
        QCOMPARE(beeps, 0);
        QVERIFY(answer.wait());
        QCOMPARE(t.st().WorkWidth, 300);
        QCOMPARE(beeps, 1);
    }

    // After a load that does not happen, the processing rectangle and the range gestures follow
    // the picture on the screen, with or without its strip, not the options of the refused one.
    void aLoadThatFailsKeepsTheStripOfTheShownPicture_data() {
        QTest::addColumn<bool>("sampleShown");  // else a plain picture without strip
        QTest::addColumn<QString>("dropped");   // "plain cut", "dated cut" or "dated"
        QTest::addColumn<QString>("longSide");
        QTest::addColumn<bool>("strip");        // the dialog's shooting-data check box
        QTest::newRow("sample shown, a truncated plain JPEG") << true << "plain cut" << "1280" << true;
        QTest::newRow("sample shown, long side of letters, no strip") << true << "dated" << "abc" << false;
        QTest::newRow("plain shown, a truncated dated JPEG with strip") << false << "dated cut" << "1280" << true;
        QTest::newRow("plain shown, long side of letters, strip") << false << "dated" << "abc" << true;
    }

    void aLoadThatFailsKeepsTheStripOfTheShownPicture() {
        QFETCH(bool, sampleShown);
        QFETCH(QString, dropped);
        QFETCH(QString, longSide);
        QFETCH(bool, strip);
        TestProgram t;
        ProgramState& st = t.st();
        if (!sampleShown) QVERIFY(loadPlainPicture(t, 400, 300));
        const int shownStrip = sampleShown ? 1 : 0;
        QCOMPARE(st.ShotDataStrip, shownStrip);
        const WorkImage before = st.SourceImage.clone();
        const QString path = dropped == "plain cut" ? truncated(plainJpeg("g.jpg", 640, 480))
                             : dropped == "dated cut" ? truncated(datedJpeg("h.jpg"))
                                                      : datedJpeg("i.jpg");
        DialogSeen seen;
        QString message;
        {
            const auto answer = answerImageSize(&seen, longSide, false, true, strip);
            const auto messageAnswer = acceptNextMessage(&message);
            QVERIFY(dropFiles(t.form1(), {path}));
            QVERIFY(answer.wait());
            QVERIFY(messageAnswer.wait());
        }
        QCOMPARE(seen.stripEnabled, dropped != "plain cut");  // the dated files carry their date
        QVERIFY2(longSide == "abc" ? message == QStringLiteral("'abc' は整数ではありません") : message.contains(path),
                 qPrintable(message));
        QVERIFY(sameImages(st.SourceImage, before));
        QCOMPARE(st.ShotDataStrip, shownStrip);
        QCOMPARE(beeps, 0);  // the drop ended with the message

        // The draw covers the picture without its strip, no more and no less.
        {
            const NoModalExpected noMessage("a message from the draw");
            press(t.form1()->ui->Button2, Qt::LeftButton);
            QVERIFY(!noMessage.shown());
        }
        QCOMPARE(st.ProcessState, 2);
        QCOMPARE(st.Proc.ProcBottom, st.WorkHeight - 1);
        QCOMPARE(st.Proc.ProcBottom, st.SourceImage.height() - 15 * shownStrip - 1);

        // A Shift + right drag over the whole window restores down to the last row above the strip.
        const ViewState& v = st.View;
        QTest::mousePress(t.form1(), Qt::RightButton, Qt::ShiftModifier, QPoint(v.ViewDestLeft + 21, v.ViewDestTop + 21));
        QTest::mouseRelease(t.form1(), Qt::RightButton, Qt::ShiftModifier, QPoint(1190, 699));
        QCOMPARE(st.Proc.ProcBottom, st.WorkHeight - 1);
    }

    // The open dialog lists camera files too (.JPG), and .jpeg files, in any letter case, also
    // where the desktop's own dialog matches the patterns case by case.
    void openDialogListsJpegFilesInAnyLetterCase() {
        TestProgram t;
        QTemporaryDir folder;
        const QStringList jpegs{"a.jpg", "b.JPG", "c.Jpg", "d.jpeg", "e.JPEG", "f.jPeG"};
        for (const QString& name : jpegs) writePlainJpeg(folder.path(), name, 16, 16);
        writePlainJpeg(folder.path(), "g.png", 16, 16);
        writeFile(folder.filePath("h.txt"), "text");
        QStringList filters, listed;
        const auto answer = answerNextModal<QFileDialog>([&](QFileDialog* dlg) {
            filters = dlg->nameFilters();
            dlg->setDirectory(folder.path());
            auto* view = dlg->findChild<QListView*>(QStringLiteral("listView"));
            if (view && QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) >= jpegs.size(); }, 5000)) {
                QTest::qWait(50);  // the folder is read in the background; let it finish
                for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
                    listed << view->model()->index(i, 0, view->rootIndex()).data().toString();
            }
            dlg->reject();
        });
        press(t.form1()->ui->Button1, Qt::LeftButton);
        QVERIFY(answer.answered());
        QCOMPARE(filters.size(), 1);
        listed.sort();
        QCOMPARE(listed, jpegs);
        const QStringList patterns = filterPatterns(filters.first());
        for (const QString& name : jpegs) QVERIFY2(listedByCaseSensitiveMatch(patterns, name), qPrintable(name));
        for (const char* name : {"g.png", "h.txt", "i.jpe"}) QVERIFY2(!listedByCaseSensitiveMatch(patterns, name), name);
        QCOMPARE(beeps, 0);  // the dialog path never beeps
    }

    void onlyTheFirstOfSeveralFilesIsLoadedAndANameWithoutDotQualifies() {
        TestProgram t;
        const QString first = plainJpeg("xjpg", 100, 80);
        const QString second = plainJpeg("second.jpg", 50, 50);
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "1280", false, true);
        QVERIFY(dropFiles(t.form1(), {first, second}));
        QVERIFY(answer.wait());
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
        QVERIFY(answer.wait());
        QCOMPARE(beepsWhenAnswered, 0);
        QCOMPARE(beeps, 1);  // a cancelled dialog ends the drop too
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
        int beepsAtTheMessage = -1;
        const auto countBeeps = answerNextModal<QMessageBox>([&](QMessageBox* box) {
            beepsAtTheMessage = beeps;
            message = box->text();
            box->accept();
        });
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(answer.wait());
        QVERIFY(countBeeps.wait());
        QCOMPARE(message, QStringLiteral("'abc' は整数ではありません"));
        // The drop ends at the error: no beep, neither before the message nor after it.
        QCOMPARE(beepsAtTheMessage, 0);
        QTest::qWait(30);
        QCOMPARE(beeps, 0);
        QVERIFY(sameImages(t.st().SourceImage, before));
    }

    void sampleDroppedAsADatedPictureShowsItsSizeAndKeepsTheStrip() {
        TestProgram t;
        const QString path = pictures.filePath("sample.jpg");
        QVERIFY(QFile::copy(QStringLiteral(NOCTURO_RESOURCES "/sample.jpg"), path));
        DialogSeen seen;
        const auto answer = answerImageSize(&seen, "1280", false, true);
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(answer.wait());
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
        QCOMPARE(beeps, 0);
    }

    // Only the left, right and middle buttons command the picture button; back, forward and the
    // other extra buttons of a mouse neither replace the picture nor open the dialog.
    void extraMouseButtonsDoNothingOnThePictureButton() {
        TestProgram t;
        QVERIFY(loadPlainPicture(t, 300, 200));
        const QString title = t.form1()->windowTitle();
        const NoModalExpected noDialog("a dialog for an extra mouse button");
        for (const Qt::MouseButton b : {Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton3}) press(t.form1()->ui->Button1, b);
        QTest::qWait(30);
        QCOMPARE(t.form1()->windowTitle(), title);
        QCOMPARE(t.st().SourceImage.width(), 300);
    }
};

QTEST_MAIN(InputSourcesTest)
#include "input_sources_test.moc"
