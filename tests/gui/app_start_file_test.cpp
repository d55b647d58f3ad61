// A picture named on the command line: it comes through the image-size dialog (filled from the
// settings) instead of the last picture, and one that does not load leaves the sample with the
// message a dropped file gets.
#include "gui_support.h"
#include "ui_form1.h"
#include "ui_form2.h"

#include <QDir>

using namespace nocturo;
using namespace nocturo::testing;

namespace {

// The whole program started with a file, as `nocturo FILE` starts it, in a folder of its own.
struct StartedProgram {
    QTemporaryDir folder;
    std::unique_ptr<NocturoProgram> program;

    StartedProgram(const QByteArray& settings, const QString& startFile) {
        if (!settings.isNull()) writeFile(folder.path() + "/ctrl.txt", settings);
        program = std::make_unique<NocturoProgram>(folder.path(), startFile);
        program->Form1->resize(1366, 700);
        program->Form1->show();
        if (!QTest::qWaitForWindowExposed(program->Form1.get())) qWarning("the main window was not exposed");
    }
    TForm1* form1() const { return program->Form1.get(); }
    ProgramState& st() const { return program->state; }
    [[nodiscard]] bool settled() const {
        return QTest::qWaitFor([this] { return st().StartFile.isEmpty(); }, 20000);
    }
};

}  // namespace

class StartFileTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir pictures;

    // The sample at its own size with its strip: what start-up shows without a picture.
    static bool showsTheSample(const StartedProgram& p) {
        return passes([&] {
            QCOMPARE(p.form1()->windowTitle(), QStringLiteral("Nocturo /  SamplePicture"));
            QCOMPARE(p.st().SourceImage.width(), 1286);
            QCOMPARE(p.st().SourceImage.height(), 835);
        });
    }

private slots:
    void startFileComesInsteadOfTheLastPictureThroughTheDialog() {
        // The last picture would not load: opening it anyway would put up a message.
        const QString last = pictures.filePath("last.jpg");
        writeFile(last, QByteArray::fromHex("FFD8FFE0") + " no picture");
        writePlainJpeg(pictures.path(), "given.jpeg", 640, 480);
        // A relative name, as a shell passes it; the settings ask for a long side of 480.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(pictures.path()));
        QString longSideShown;
        bool resizeShown = false;
        QStringList messagesUnder;
        const auto answer = answerNextModal<TForm2>([&](TForm2* dlg) {
            // A message of start-up would lie under the dialog (and would wait for ever).
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    messagesUnder << box->text();
                    box->reject();
                }
            longSideShown = dlg->ui->ComboBox1->currentText();
            resizeShown = dlg->ui->RadioButton2->isChecked();
            dlg->ui->ComboBox1->setEditText("320");
            dlg->ui->Button1->click();
        });
        StartedProgram p(QByteArray("PIC,") + last.toUtf8() + "\r\nPSIZE,480\r\nCOMP,1\r\n", "given.jpeg");
        QDir::setCurrent(before);
        QVERIFY(p.settled());
        QVERIFY(answer.answered());
        QCOMPARE(messagesUnder, QStringList());
        // The dialog showed the saved settings, not its designed state of a second later.
        QCOMPARE(longSideShown, QStringLiteral("480"));
        QVERIFY(resizeShown);
        const QString given = pictures.filePath("given.jpeg");
        QCOMPARE(p.st().PicturePath, given);
        QCOMPARE(p.form1()->windowTitle(), QStringLiteral("Nocturo : ") + given);
        QCOMPARE(p.form1()->ui->Label4->text(), QStringLiteral("given.jpeg"));
        QCOMPARE(p.st().WorkWidth, 320);
        QCOMPARE(p.st().WorkHeight, 240);
        // Closing keeps the given file as the last picture of the next start.
        p.form1()->close();
        QVERIFY2(readFile(p.folder.path() + "/ctrl.txt").contains("PIC," + given.toUtf8()), "PIC not written");
    }

    void startFileThatDoesNotLoadLeavesTheSampleWithTheDropMessage_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("asksForSize");
        QTest::addColumn<QString>("told");
        // A file that is no JPEG at all fails already when its size is read for the dialog.
        QTest::newRow("missing") << "gone.jpg" << QByteArray() << false << "画像を読み込めません";
        QTest::newRow("a text file") << "notes.jpg" << QByteArray("these are notes") << false << "JPEG として読めません";
        QTest::newRow("truncated") << "cut.jpg" << readFile(QStringLiteral(NOCTURO_RESOURCES "/sample.jpg")).left(4000)
                                   << true << "画像を読み込めません";
    }

    void startFileThatDoesNotLoadLeavesTheSampleWithTheDropMessage() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, asksForSize);
        QFETCH(QString, told);
        const QString path = pictures.filePath(name);
        if (!bytes.isNull()) writeFile(path, bytes);

        QString startMessage;
        {
            std::optional<ModalAnswer> size;
            if (asksForSize)
                size.emplace(
                    [](QWidget* w) {
                        auto* dlg = qobject_cast<TForm2*>(w);
                        if (dlg) dlg->ui->Button1->click();
                        return dlg != nullptr;
                    },
                    __FILE__, __LINE__);
            const auto message = acceptNextMessage(&startMessage);
            StartedProgram p(QByteArray(), path);
            QVERIFY(p.settled());
            QVERIFY(message.wait());
            QVERIFY(showsTheSample(p));
            QVERIFY2(startMessage.startsWith(told), qPrintable(startMessage));
        }
        if (bytes.isNull()) {
            QVERIFY2(startMessage.contains(path), qPrintable(startMessage));
            return;  // a missing file is no drop at all
        }

        // The same file dropped on a running program gets the very same words.
        QString dropMessage;
        TestProgram t;
        std::optional<ModalAnswer> size;
        if (asksForSize) size.emplace([](QWidget* w) {
            auto* dlg = qobject_cast<TForm2*>(w);
            if (dlg) dlg->ui->Button1->click();
            return dlg != nullptr;
        }, __FILE__, __LINE__);
        const auto message = acceptNextMessage(&dropMessage);
        QVERIFY(dropFiles(t.form1(), {path}));
        QVERIFY(message.wait());
        QCOMPARE(startMessage, dropMessage);
    }
};

QTEST_MAIN(StartFileTest)
#include "app_start_file_test.moc"
