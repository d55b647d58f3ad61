// The star-chart program's argument template: the "起動オプション" edit of the dialog, its place in
// the settings file, and the start of the program with the picture's values in its arguments.
#include "app/desktop.h"
#include "chart_support.h"
#include "ui_form1.h"
#include "ui_form3.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace nocturo;
using namespace nocturo::testing;

namespace {

[[nodiscard]] bool waitForDialogInit(TestProgram& t) {
    return QTest::qWaitFor([&] { return !t.form1()->Timer1->isActive(); }, 5000);
}

// Closes every message box that opens while it lives and keeps their texts.
class MessageRecorder {
public:
    MessageRecorder() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            texts << box->text();
            box->accept();
        });
        timer_.start();
    }
    QStringList texts;

private:
    QTimer timer_;
};

const ProgramLaunch kRealLauncher = programLauncher();

}  // namespace

class ChartOptionsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QStringList started;
    QList<QPair<QString, QStringList>> launched;

    // An executable that writes the arguments it receives, each followed by a NUL byte, to
    // argv.bin beside itself (through a temporary name, so the file appears complete).
    QString makeRecordingProgram(const QString& name) {
        const QString path = dir.filePath(name);
        writeFile(path, "#!/bin/sh\n"
                        "out=\"$(dirname \"$0\")/argv.bin\"\n"
                        "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        return path;
    }

    QString copyPicture(const QString& fixture, const QString& name) {
        const QString path = dir.filePath(name);
        QFile::remove(path);
        if (!QFile::copy(QStringLiteral(NOCTURO_FIXTURES "/extract/") + fixture, path)) qFatal("cannot copy %s", qPrintable(fixture));
        return path;
    }

private slots:
    void init() {
        started.clear();
        launched.clear();
        programStarter() = [this](const QString& path) {
            started << path;
            return true;
        };
        programLauncher() = [this](const QString& path, const QStringList& args) {
            launched.append({path, args});
            return true;
        };
        documentOpener() = [](const QString&) { return true; };
    }

    void editBelowThePathFollowsTheChosenProgramAndIsSaved() {
        const QByteArray settings = "SOFT,/opt/a/alpha,--x={date}\r\nSOFT,/opt/b/beta\r\nUSE,/opt/a/alpha\r\n";
        TestProgram t(settings);
        QVERIFY(waitForDialogInit(t));
        TForm3* f3 = t.form3();
        f3->show();
        QVERIFY(QTest::qWaitForWindowExposed(f3));
        auto* ui = f3->ui.get();
        // The label and the edit sit between the program's name and the clipboard format.
        QCOMPARE(ui->Label2->text(), QStringLiteral("起動オプション"));
        QVERIFY(ui->Label2->geometry().top() >= ui->ComboBox1->geometry().bottom());
        QVERIFY(ui->Edit3->geometry().top() >= ui->Label2->geometry().bottom());
        QVERIFY(ui->GroupBox1->geometry().top() > ui->Edit3->geometry().bottom());
        QVERIFY(ui->Button1->geometry().top() > ui->GroupBox1->geometry().bottom());
        QVERIFY(f3->rect().contains(ui->Label1->geometry()));

        QCOMPARE(ui->Edit3->text(), QStringLiteral("--x={date}"));
        ui->ComboBox1->setEditText("beta");
        QCOMPARE(ui->Edit3->text(), QString());  // empty by default
        ui->Edit3->setFocus();
        QTest::keyClicks(ui->Edit3, "--y {lat}");
        QCOMPARE(t.st().ChartTemplates[1], QStringLiteral("--y {lat}"));
        ui->ComboBox1->setEditText("alpha");
        QCOMPARE(ui->Edit3->text(), QStringLiteral("--x={date}"));
        ui->ComboBox1->setEditText("nothing registered");
        QVERIFY(!ui->Edit3->isEnabled());
        QCOMPARE(ui->Edit3->text(), QString());

        // A new program starts without a template; deleting moves the others' templates along.
        f3->NewChartProgram = QStringLiteral("/opt/c/gamma");
        f3->AddChartProgram();
        QVERIFY(ui->Edit3->isEnabled());
        QCOMPARE(ui->Edit3->text(), QString());
        ui->ComboBox1->setEditText("alpha");
        {
            const auto yes = answerNextModal<QMessageBox>([](QMessageBox* box) {
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == QStringLiteral("はい(&Y)")) b->click();
            });
            leftClick(ui->Button4);
            QVERIFY(yes.wait());
        }
        QCOMPARE(t.st().ChartProgramCount, 2);
        QCOMPARE(t.st().ChartTemplates[0], QStringLiteral("--y {lat}"));
        QCOMPARE(t.st().ChartTemplates[1], QString());
        QCOMPARE(ui->Edit3->text(), QStringLiteral("--y {lat}"));  // beta is the choice now
        f3->hide();

        t.form1()->close();
        const QStringList lines = QString::fromUtf8(readFile(t.path("ctrl.txt"))).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.filter(QRegularExpression("^(SOFT|USE),")),
                 QStringList({"SOFT,/opt/b/beta,--y {lat}", "SOFT,/opt/c/gamma", "USE,/opt/b/beta"}));
    }

    void startHandsTheReplacedArgumentsToTheProgramWithoutAShell() {
        programLauncher() = kRealLauncher;
        const QString program = makeRecordingProgram("planetarium");
        // A name a shell would take apart: the program must receive it as it is.
        const QString picture = copyPicture("sky_gps.jpg", "night sky;$(touch x) 'q'.jpg");
        const QString options =
            "--date={date} --time={time} \"--place={lat} {lon}\" {jd} {yyyymmdd} {file} 'a  b'";
        const QByteArray settings = ("SOFT," + program + "," + options + "\r\nPIC," + picture + "\r\n").toUtf8();
        TestProgram t(settings);
        QVERIFY(waitForDialogInit(t));
        QVERIFY(t.st().ShotPosition.has_value());
        MessageRecorder messages;
        QVERIFY(pressChartButton(t, [](TForm3* f3) { leftClick(f3->ui->Button1); }));
        const QString argvFile = dir.filePath("argv.bin");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(argvFile), 10000);
        QList<QByteArray> args = readFile(argvFile).split('\0');
        QCOMPARE(args.takeLast(), QByteArray());  // after the last NUL
        QStringList got;
        for (const QByteArray& a : args) got << QString::fromUtf8(a);
        QCOMPARE(got, QStringList({"--date=2024-08-10", "--time=22:48:30", "--place=19.826000 -155.470000",
                                   "2460533.075347", "20240810", picture, "a  b"}));
        QVERIFY(!QFile::exists(dir.filePath("x")));
        QVERIFY(messages.texts.isEmpty());
        // The clipboard hand-off is as it always was.
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2024/08/10 22:48:30"));
        QVERIFY(QFile::remove(argvFile));
    }

    void missingValuesLeaveTheirArgumentsOutAndSaySo() {
        const QString picture = copyPicture("sky_dated.jpg", "dated.jpg");  // a date, no position
        const QByteArray settings =
            ("SOFT,/opt/p/chart,--lat={lat} --lon={lon} --date={date}\r\nPIC," + picture + "\r\n").toUtf8();
        TestProgram t(settings);
        QVERIFY(waitForDialogInit(t));
        QVERIFY(!t.st().ShotPosition.has_value());
        {
            MessageRecorder messages;
            QVERIFY(pressChartButton(t, [](TForm3* f3) { leftClick(f3->ui->Button1); }));
            QCOMPARE(launched.size(), 1);
            QCOMPARE(launched[0].first, QStringLiteral("/opt/p/chart"));
            QCOMPARE(launched[0].second, QStringList({"--date=2024-08-10"}));
            QTRY_COMPARE(messages.texts.size(), 1);
            QVERIFY2(messages.texts[0].contains("GPS") && messages.texts[0].contains("{lat} {lon}"),
                     qPrintable(messages.texts[0]));
        }
        // A template that cannot be split starts nothing and says why.
        launched.clear();
        {
            MessageRecorder messages;
            QVERIFY(pressChartButton(t, [](TForm3* f3) {
                f3->ui->Edit3->setFocus();
                f3->ui->Edit3->selectAll();
                QTest::keyClicks(f3->ui->Edit3, "--at '{time}");
                leftClick(f3->ui->Button1);
            }));
            QTRY_COMPARE(messages.texts.size(), 1);
            QVERIFY2(messages.texts[0].contains(QStringLiteral("閉じていません")), qPrintable(messages.texts[0]));
            QVERIFY(launched.isEmpty());
            QVERIFY(started.isEmpty());
        }
        // An emptied template starts the program as before, with no arguments at all.
        QVERIFY(pressChartButton(t, [](TForm3* f3) {
            f3->ui->Edit3->setFocus();
            f3->ui->Edit3->selectAll();
            QTest::keyClick(f3->ui->Edit3, Qt::Key_Delete);
            leftClick(f3->ui->Button1);
        }));
        QCOMPARE(started, QStringList({"/opt/p/chart"}));
        QVERIFY(launched.isEmpty());
    }
};

QTEST_MAIN(ChartOptionsTest)
#include "chart_options_test.moc"
