// The star-chart dialog (registering, choosing, deleting, help, drops) and the star-chart button
// (clipboard, dialog, program start), driven through the real windows; the program start and
// the help page are recorded instead of performed.
#include "app/desktop.h"
#include "chart_support.h"
#include "ui_form1.h"
#include "ui_form3.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

using namespace nocturo;
using namespace nocturo::testing;

namespace {

QStringList comboItems(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

QStringList chartList(const ProgramState& st) {
    QStringList list;
    for (int i = 0; i < st.ChartProgramCount; ++i) list << st.ChartPrograms[static_cast<std::size_t>(i)];
    return list;
}

void setChartList(ProgramState& st, const QStringList& paths) {
    for (int i = 0; i < paths.size(); ++i) st.ChartPrograms[static_cast<std::size_t>(i)] = paths[i];
    st.ChartProgramCount = static_cast<int>(paths.size());
}

// What a deletion question showed.
struct Question {
    bool shown = false;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

}  // namespace

class ChartTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir programs;
    QStringList started;
    QStringList opened;

    // An executable file dir/name under the temporary folder.
    QString makeProgram(const QString& dir, const QString& name) {
        QDir().mkpath(programs.path() + "/" + dir);
        const QString path = programs.path() + "/" + dir + "/" + name;
        writeFile(path, "#!/bin/sh\n");
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        return path;
    }

    // The program as the user finds it one second after start-up, the dialogs filled.
    [[nodiscard]] static bool waitForDialogInit(TestProgram& t) {
        return QTest::qWaitFor([&] { return !t.form1()->Timer1->isActive(); }, 5000);
    }

    // Presses the register button and types path into the file dialog (or cancels it). The
    // answer is repeated until the dialog has closed. False when the dialog never came.
    [[nodiscard]] static bool registerThroughDialog(TForm3* f3, const QString& path, bool confirm = true,
                                                    QString* startFolder = nullptr) {
        bool seen = false;
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, &timer, [&] {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dlg || !dlg->isVisible()) return;
            if (!seen && startFolder) *startFolder = dlg->directory().absolutePath();
            seen = true;
            if (confirm) {
                // Typed as the user would: selectFile leaves a focused name field alone.
                if (auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(path);
                else
                    dlg->selectFile(path);
                static_cast<QDialog*>(dlg)->accept();  // the file dialog's own accept checks the file
            } else {
                dlg->reject();
            }
        });
        timer.start();
        leftClick(f3->ui->Button3);
        return seen;
    }

    // Presses the delete button and answers its question with yes or no.
    static Question deleteThroughDialog(TForm3* f3, bool yes) {
        Question q;
        const auto answered = answerNextModal<QMessageBox>([&q, yes](QMessageBox* box) {
            q.shown = true;
            q.title = box->windowTitle();
            q.text = box->text();
            q.icon = box->icon();
            QAbstractButton* answer = nullptr;
            for (QAbstractButton* b : box->buttons()) {
                q.buttons << b->text();
                if (b->text() == (yes ? QStringLiteral("はい(&Y)") : QStringLiteral("いいえ(&N)"))) answer = b;
            }
            if (answer)
                answer->click();
            else
                box->reject();
        });
        leftClick(f3->ui->Button4);
        return q;
    }

    static void setShotDate(TestProgram& t, const QString& text) {
        t.st().Shot.HasShotDate = 1;
        t.st().Shot.ShotDateText = text;
    }

private slots:
    void init() {
        started.clear();
        opened.clear();
        programStarter() = [this](const QString& path) {
            started << path;
            return true;
        };
        documentOpener() = [this](const QString& path) {
            opened << path;
            return true;
        };
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    }

    void registeringTwiceGivesTwoEntriesAndDeletingRemovesBoth() {
        TestProgram t;
        QVERIFY(waitForDialogInit(t));
        TForm3* f3 = t.form3();
        f3->show();
        const QString starry = makeProgram("a", "starry");
        const QString other = makeProgram("b", "other");
        QString startFolder;
        QVERIFY(registerThroughDialog(f3, starry, true, &startFolder));
        QCOMPARE(startFolder, QStringLiteral("/usr/bin"));
        QVERIFY(registerThroughDialog(f3, other));
        QVERIFY(registerThroughDialog(f3, starry));
        QCOMPARE(chartList(t.st()), QStringList({starry, other, starry}));
        QCOMPARE(comboItems(f3->ui->ComboBox1), QStringList({"starry", "other", "starry"}));
        // The program registered last is the choice and shows in the combo box.
        QCOMPARE(f3->ui->ComboBox1->currentText(), QStringLiteral("starry"));
        QCOMPARE(t.st().ChartProgram, starry);

        // A cancelled file dialog registers nothing.
        QVERIFY(registerThroughDialog(f3, other, false));
        QCOMPARE(t.st().ChartProgramCount, 3);

        // No keeps everything; the question names the program.
        Question q = deleteThroughDialog(f3, false);
        QVERIFY(q.shown);
        QCOMPARE(q.title, QStringLiteral("確認"));
        QCOMPARE(q.text, QStringLiteral("starryを削除しますか？"));
        QCOMPARE(q.icon, QMessageBox::Question);
        QCOMPARE(q.buttons.size(), 2);
        QVERIFY(q.buttons.contains(QStringLiteral("はい(&Y)")));
        QVERIFY(q.buttons.contains(QStringLiteral("いいえ(&N)")));
        QCOMPARE(chartList(t.st()), QStringList({starry, other, starry}));
        QCOMPARE(f3->ui->ComboBox1->currentText(), QStringLiteral("starry"));

        // Yes removes every entry of that path and chooses the first that remains.
        q = deleteThroughDialog(f3, true);
        QVERIFY(q.shown);
        QCOMPARE(chartList(t.st()), QStringList({other}));
        QCOMPARE(comboItems(f3->ui->ComboBox1), QStringList({"other"}));
        QCOMPARE(f3->ui->ComboBox1->currentText(), QStringLiteral("other"));
        QCOMPARE(t.st().ChartProgram, other);
        // Registering and deleting leave the start-up notice alone.
        QCOMPARE(f3->ui->Label1->text(), QStringLiteral("現在星座ソフトは登録されていません\r\n"));
    }

    void choosingFindsTheLastEntryOfTheTrimmedName() {
        TestProgram t;
        QVERIFY(waitForDialogInit(t));
        TForm3* f3 = t.form3();
        const QString early = "/opt/early/chart", late = "/opt/late/chart", sky = "/opt/x/sky map";
        struct Case {
            QString comboText;
            QString chosen;
        } cases[] = {
            {"chart", late},     // the same name twice: the later registration wins
            {"  chart \t", late},  // blanks around the typed name do not matter
            {"Chart", ""},       // letter case does
            {"sky map", sky},
            {"sky", ""},
            {"", ""},
        };
        for (const Case& c : cases) {
            setChartList(t.st(), {early, late, sky});
            t.st().ChartProgram = "previous";
            f3->show();
            f3->ui->ComboBox1->setEditText(c.comboText);
            leftClick(f3->ui->Button1);
            QVERIFY2(t.st().ChartProgram == c.chosen, qPrintable(c.comboText));
            QCOMPARE(f3->result(), int(QDialog::Accepted));
            QVERIFY(!f3->isVisible());
        }
    }

    void deletingTheLastProgramKeepsTheChoiceUntilTheStartButton() {
        TestProgram t;
        QVERIFY(waitForDialogInit(t));
        TForm3* f3 = t.form3();
        f3->show();
        const QString only = makeProgram("c", "lonely");
        QVERIFY(registerThroughDialog(f3, only));
        QCOMPARE(t.st().ChartProgram, only);
        QVERIFY(deleteThroughDialog(f3, true).shown);
        QCOMPARE(t.st().ChartProgramCount, 0);
        QCOMPARE(f3->ui->ComboBox1->count(), 0);
        QCOMPARE(f3->ui->ComboBox1->currentText(), QString());
        QCOMPARE(t.st().ChartProgram, only);
        leftClick(f3->ui->Button1);
        QCOMPARE(t.st().ChartProgram, QString());
    }

    void registrationBeyondTheListIsRefused() {
        TestProgram t;
        QVERIFY(waitForDialogInit(t));
        TForm3* f3 = t.form3();
        f3->show();
        QStringList full;
        for (int i = 0; i < kMaxChartPrograms; ++i) full << QStringLiteral("/opt/p%1/chart").arg(i);
        setChartList(t.st(), full);
        t.st().ChartProgram = full.last();
        QString message;
        const auto messageAnswer = acceptNextMessage(&message);
        QVERIFY(dropFiles(f3, {makeProgram("d", "extra")}));
        QVERIFY(messageAnswer.wait());
        QVERIFY(message.contains(QStringLiteral("100")));
        QCOMPARE(chartList(t.st()), full);
        QCOMPARE(t.st().ChartProgram, full.last());
    }

    void aProgramDroppedOnTheDialogIsRegistered() {
        TestProgram t;
        QVERIFY(waitForDialogInit(t));
        TForm3* f3 = t.form3();
        f3->show();
        const QString first = makeProgram("e", "dropped");
        const QString second = makeProgram("e", "ignored");
        QVERIFY(dropFiles(f3, {first, second}));
        QCOMPARE(chartList(t.st()), QStringList({first}));
        QCOMPARE(f3->ui->ComboBox1->currentText(), QStringLiteral("dropped"));
        QCOMPARE(t.st().ChartProgram, first);
        // A folder is no program.
        QVERIFY(dropFiles(f3, {programs.path()}));
        QCOMPARE(t.st().ChartProgramCount, 1);
    }

    void helpPanelAsksForTheHelpPage() {
        TestProgram t;
        TForm3* f3 = t.form3();
        f3->show();
        QTest::mousePress(f3->ui->Panel1, Qt::RightButton, {}, QPoint(5, 5));
        QVERIFY(opened.isEmpty());
        QTest::mousePress(f3->ui->Panel1, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(opened, QStringList({QCoreApplication::applicationDirPath() + "/help/starsoft.html"}));
    }

    void chartButtonCopiesTheFormatTheRadioButtonsShow_data() {
        QTest::addColumn<int>("radio");  // 1 or 2 checked, 0 neither (before start-up set them)
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<int>("format");
        QTest::newRow("date-time") << 1 << "2015/08/12 21:30:05" << 0;
        QTest::newRow("julian day") << 2 << "2457247.0208912" << 1;
        QTest::newRow("neither checked") << 0 << "2457247.0208912" << 1;
    }

    void chartButtonCopiesTheFormatTheRadioButtonsShow() {
        QFETCH(int, radio);
        QFETCH(QString, clipboard);
        QFETCH(int, format);
        TestProgram t;
        t.form1()->Timer1->stop();  // the dialog as it is before the first tick
        TForm3* f3 = t.form3();
        QVERIFY(!f3->ui->RadioButton1->isChecked() && !f3->ui->RadioButton2->isChecked());
        if (radio == 1) f3->ui->RadioButton1->setChecked(true);
        if (radio == 2) f3->ui->RadioButton2->setChecked(true);
        t.st().ClipDateFormat = 1 - format;
        setShotDate(t, "2015/08/12 21:30:05");
        QString clipWhileOpen, edit1, edit2;
        // Cancelled: the copy stays on the clipboard and no program starts.
        QVERIFY(pressChartButton(t, [&](TForm3* dlg) {
            clipWhileOpen = QGuiApplication::clipboard()->text();
            edit1 = dlg->ui->Edit1->text();
            edit2 = dlg->ui->Edit2->text();
            leftClick(dlg->ui->Button2);
        }));
        QCOMPARE(clipWhileOpen, clipboard);
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
        QCOMPARE(t.st().ClipDateFormat, format);
        QCOMPARE(edit2, QStringLiteral("2457247.0208912"));
        QCOMPARE(t.st().ChartJulianText, edit2);
        QCOMPARE(t.st().ChartDateText, edit1);
        QVERIFY(started.isEmpty());
    }

    // The worked example under the Japanese locale: the date-time text reads as the shooting
    // time came, and the Julian day with the locale's decimal point.
    void chartButtonShowsTheShootingTimeInTheJapaneseLocale() {
        // The user's locale for this test only, whatever it ends with.
        struct JapaneseLocale {
            QLocale previous;
            JapaneseLocale() { QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan)); }
            ~JapaneseLocale() { QLocale::setDefault(previous); }
        } japanese;
        struct Case {
            const char* shot;
            const char* date;
            const char* julian;
        };
        const Case cases[] = {
            {"2015/08/12 21:30:05", "2015/08/12 21:30:05", "2457247.0208912"},
            {"2000/01/01 09:00:00", "2000/01/01 9:00:00", "2451544.5"},
            {"2000/01/01 00:00:00", "2000/01/01", "2451544.125"},  // midnight: the date alone
        };
        TestProgram t;
        for (const Case& c : cases) {
            setShotDate(t, QString::fromLatin1(c.shot));
            QString edit1, edit2;
            QVERIFY(pressChartButton(t, [&](TForm3* dlg) {
                edit1 = dlg->ui->Edit1->text();
                edit2 = dlg->ui->Edit2->text();
                leftClick(dlg->ui->Button2);
            }));
            QCOMPARE(edit1, QString::fromLatin1(c.date));
            QCOMPARE(edit2, QString::fromLatin1(c.julian));
        }
    }

    // Enter in the program list's edit field neither adds the typed text to the list nor presses
    // a button of the dialog (the register button would open its file dialog).
    void enterInTheProgramListAddsNothingAndPressesNoButton() {
        TestProgram t;
        QVERIFY(waitForDialogInit(t));
        const QString program = makeProgram("enter", "stella");
        setChartList(t.st(), {program});
        t.st().ChartProgram = program;
        t.form1()->DialogInit();
        bool stillOpen = false, otherDialog = true;
        QStringList items;
        QVERIFY(pressChartButton(t, [&](TForm3* dlg) {
            QComboBox* box = dlg->ui->ComboBox1;
            box->setFocus();
            box->lineEdit()->selectAll();
            {
                const NoModalExpected noDialog("a dialog opened by Enter");
                QTest::keyClicks(box->lineEdit(), "typed");
                QTest::keyClick(box->lineEdit(), Qt::Key_Return);
                QTest::keyClick(box->lineEdit(), Qt::Key_Enter);
                otherDialog = noDialog.shown();
            }
            items = comboItems(box);
            stillOpen = dlg->isVisible();
            leftClick(dlg->ui->Button2);
        }));
        QVERIFY(!otherDialog);
        QVERIFY(stillOpen);
        QCOMPARE(items, QStringList{"stella"});
        QCOMPARE(chartList(t.st()), QStringList{program});
        QVERIFY(started.isEmpty());
    }

    void chartButtonWithoutADateOrWithAnUnreadableOne() {
        TestProgram t;
        QVERIFY(waitForDialogInit(t));
        TForm3* f3 = t.form3();
        f3->ui->RadioButton2->setChecked(true);
        f3->ui->Edit1->setText("old 1");
        f3->ui->Edit2->setText("old 2");

        // A date that cannot be read: the message, and the dialog does not open.
        setShotDate(t, "    /  /     :  :  ");
        QString message;
        {
            const auto messageAnswer = acceptNextMessage(&message);
            leftClick(t.form1()->ui->Button11);
            QVERIFY(messageAnswer.answered());
        }
        QCOMPARE(message, QStringLiteral("'    /  /     :  :  ' は日付または時刻ではありません"));
        QCOMPARE(f3->ui->Edit1->text(), QStringLiteral("old 1"));
        QCOMPARE(f3->ui->Edit2->text(), QStringLiteral("old 2"));
        QCOMPARE(t.st().ClipDateFormat, 0);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

        // No date: "No Data" in both fields, the clipboard and the format left alone; the
        // program can still be started.
        t.st().Shot.HasShotDate = 0;
        const QString chart = makeProgram("f", "atlas");
        setChartList(t.st(), {chart});
        f3->ui->ComboBox1->addItem("atlas");
        QString edit1, edit2;
        QVERIFY(pressChartButton(t, [&](TForm3* dlg) {
            edit1 = dlg->ui->Edit1->text();
            edit2 = dlg->ui->Edit2->text();
            dlg->ui->ComboBox1->setEditText("atlas");
            leftClick(dlg->ui->Button1);
        }));
        QCOMPARE(edit1, QStringLiteral("No Data"));
        QCOMPARE(edit2, QStringLiteral("No Data"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
        QCOMPARE(t.st().ClipDateFormat, 0);
        QCOMPARE(started, QStringList({chart}));
    }

    void startButtonStartsTheChosenProgramOrPassesAnEmptyPath() {
        TestProgram t;
        QVERIFY(waitForDialogInit(t));
        setShotDate(t, "2000/01/01 09:00:00");
        const QString a = makeProgram("g", "alpha"), b = makeProgram("h", "beta");
        // Registered inside the dialog opened by the star-chart button, then started.
        QVERIFY(pressChartButton(t, [&](TForm3* dlg) {
            QVERIFY(registerThroughDialog(dlg, a));
            QVERIFY(registerThroughDialog(dlg, b));
            dlg->ui->ComboBox1->setEditText("alpha");
            leftClick(dlg->ui->Button1);
        }));
        QCOMPARE(started, QStringList({a}));
        QCOMPARE(t.st().ChartProgram, a);
        // Nothing matches: the empty path goes to the start request.
        QVERIFY(pressChartButton(t, [&](TForm3* dlg) {
            dlg->ui->ComboBox1->setEditText("gamma");
            leftClick(dlg->ui->Button1);
        }));
        QCOMPARE(started, QStringList({a, QString()}));
    }

    void aDatedPictureHandsItsJulianDayOnAndTheSettingsKeepTheChoice() {
        // The dated fixture as the last picture, the Julian day format, two programs registered.
        const QString picture = QStringLiteral(NOCTURO_FIXTURES "/extract/sky_dated.jpg");
        const QString a = makeProgram("i", "sky"), b = makeProgram("j", "sky");
        const QByteArray settings = ("SOFT," + a + "\r\nSOFT," + b + "\r\nUSE," + a + "\r\nPIC," + picture + "\r\nDT,1\r\n").toUtf8();
        TestProgram t(settings);
        QVERIFY(waitForDialogInit(t));
        QCOMPARE(t.st().Shot.ShotDateText, QStringLiteral("2024/08/10 22:48:30"));
        TForm3* f3 = t.form3();
        QVERIFY(f3->ui->RadioButton2->isChecked());
        QCOMPARE(comboItems(f3->ui->ComboBox1), QStringList({"sky", "sky"}));
        QCOMPARE(f3->ui->Label1->text(), QString());
        const QString c = makeProgram("k", "planetarium");
        QVERIFY(pressChartButton(t, [&](TForm3* dlg) {
            QVERIFY(registerThroughDialog(dlg, c));
            dlg->ui->ComboBox1->setEditText("sky");  // selects the later of the two
            leftClick(dlg->ui->Button1);
        }));
        // 45514 days to 2024-08-10, 22:48:30 is 82110 s: 45514 + 82110/86400 - 0.375 + 2415018.5.
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2460533.07534722"));
        QCOMPARE(started, QStringList({b}));

        t.form1()->close();
        const QStringList lines = QString::fromUtf8(readFile(t.path("ctrl.txt"))).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.filter(QRegularExpression("^(SOFT|USE|DT),")),
                 QStringList({"SOFT," + a, "SOFT," + b, "SOFT," + c, "USE," + b, "DT,1"}));
    }
};

QTEST_MAIN(ChartTest)
#include "chart_test.moc"
