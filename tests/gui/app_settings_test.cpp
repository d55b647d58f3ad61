// The settings through the windows: what closing writes, standard settings, a second start that
// reads it all back, and the image-size dialog's enabling rules.
#include "gui_support.h"
#include "ui_form1.h"
#include "ui_form2.h"
#include "ui_form3.h"

using namespace nocturo;
using namespace nocturo::testing;

class SettingsWindowTest : public QObject {
    Q_OBJECT

private:
    static QStringList linesOf(const QString& path) {
        QString text = QString::fromUtf8(readFile(path));
        QStringList lines = text.split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }

private slots:
    void closingWritesEveryControlLineByLine() {
        TestProgram t;
        TForm1* f = t.form1();
        QTRY_VERIFY_WITH_TIMEOUT(!f->Timer1->isActive(), 3000);  // dialogs filled
        f->ui->ComboBox1->setEditText("12");
        f->ui->ComboBox2->setEditText("abc");  // written as the user left it
        f->ui->ComboBox3->setEditText("-20");
        f->ui->ComboBox4->setEditText("90");
        f->ui->CheckBox2->setChecked(false);
        f->setPanel2Color(makeColor(1, 2, 3));
        t.form2()->ui->ComboBox1->setEditText("640");
        t.form2()->ui->CheckBox1->setChecked(false);
        t.form2()->ui->RadioButton2->setChecked(true);
        f->close();
        const QStringList expected = {
            "SH,12", "LT,abc", "S,-20", "Q,90", "PSIZE,640",
            QStringLiteral("BKCOL,%1").arg(1 + 2 * 256 + 3 * 65536),
            "BIG,0", "DATA,0", "COMP,1", "PIC," + t.st().TempPath1, "DT,0",
        };
        QCOMPARE(linesOf(t.st().SettingsPath), expected);
        QCOMPARE(t.st().ResizeOnLoad, 1);
    }

    void secondStartReadsBackWhatTheFirstWrote() {
        QTemporaryDir folder;
        {
            TestProgram first(QByteArray(), true, folder.path());
            QTRY_VERIFY_WITH_TIMEOUT(!first.form1()->Timer1->isActive(), 3000);
            first.form1()->ui->ComboBox1->setEditText("25");
            first.form1()->ui->ComboBox4->setEditText("70");
            first.form1()->setPanel2Color(makeColor(200, 100, 50));
            first.form1()->ui->CheckBox2->setChecked(false);
            first.form2()->ui->RadioButton2->setChecked(true);
            first.form2()->ui->ComboBox1->setEditText("800");
            first.form1()->close();
        }
        TestProgram second(QByteArray(), true, folder.path());
        auto* ui = second.form1()->ui.get();
        QCOMPARE(ui->ComboBox1->currentText(), QStringLiteral("25"));
        QCOMPARE(ui->ComboBox4->currentText(), QStringLiteral("70"));
        QCOMPARE(second.form1()->panel2Color(), makeColor(200, 100, 50));
        QVERIFY(!ui->CheckBox2->isChecked());
        // The last picture was the sample, whose scratch file is gone: the sample again.
        QCOMPARE(second.form1()->windowTitle(), QStringLiteral("Nocturo /  SamplePicture"));
        QTRY_VERIFY_WITH_TIMEOUT(second.form2()->ui->RadioButton2->isChecked(), 3000);
        QCOMPARE(second.form2()->ui->ComboBox1->currentText(), QStringLiteral("800"));
    }

    void closingBeforeTheFirstTickSavesTheDialogsDesignedValues() {
        TestProgram t(QByteArray("PSIZE,960\r\nDATA,0\r\nCOMP,1\r\n"));
        QVERIFY(t.form1()->Timer1->isActive());
        t.form1()->close();
        const QStringList lines = linesOf(t.st().SettingsPath);
        QVERIFY(lines.contains("PSIZE,1280"));
        QVERIFY(lines.contains("DATA,1"));
        QVERIFY(lines.contains("COMP,0"));
    }

    void standardSettingsButtonRestoresTheStandardValues() {
        TestProgram t;
        TForm1* f = t.form1();
        QTRY_VERIFY_WITH_TIMEOUT(!f->Timer1->isActive(), 3000);
        f->ui->ComboBox1->setEditText("3");
        f->ui->ComboBox2->setEditText("99");
        f->ui->ComboBox3->setEditText("50");
        f->ui->ComboBox4->setEditText("20");
        f->ui->RadioButton2->setChecked(true);
        f->setPanel2Color(makeColor(9, 9, 9));
        f->ui->CheckBox2->setChecked(false);
        t.form2()->ui->ComboBox1->setEditText("320");
        t.form2()->ui->CheckBox1->setChecked(false);
        t.form2()->ui->RadioButton2->setChecked(true);
        QTest::mouseClick(f->ui->Button7, Qt::LeftButton);
        QCOMPARE(f->ui->ComboBox1->currentText(), QStringLiteral("10"));
        QCOMPARE(f->ui->ComboBox2->currentText(), QStringLiteral("30"));
        QCOMPARE(f->ui->ComboBox3->currentText(), QStringLiteral("0"));
        QCOMPARE(f->ui->ComboBox4->currentText(), QStringLiteral("80"));
        QVERIFY(f->ui->RadioButton1->isChecked());
        QCOMPARE(f->panel2Color(), kBlack);
        QVERIFY(f->ui->CheckBox2->isChecked());
        QCOMPARE(t.form2()->ui->ComboBox1->currentText(), QStringLiteral("1280"));
        QVERIFY(t.form2()->ui->CheckBox1->isChecked());
        QVERIFY(t.form2()->ui->RadioButton2->isChecked());  // the size choice is left alone
        QCOMPARE(t.st().PanelTop, 20);
        QCOMPARE(f->ui->Panel1->y(), 20);
    }

    void unwritableSettingsFileIsToldAndTheProgramStillCloses() {
        TestProgram t;
        t.st().SettingsPath = t.path("no/such/folder/ctrl.txt");
        QString message;
        const auto messageAnswer = acceptNextMessage(&message);
        QVERIFY(t.form1()->close());
        QVERIFY(messageAnswer.wait());
        QVERIFY(!t.form1()->isVisible());
        QVERIFY2(message.contains(t.st().SettingsPath), qPrintable(message));
    }

    void imageSizeDialogEnablesTheLongSideOnlyForResizing() {
        TestProgram t;
        auto* ui2 = t.form2()->ui.get();
        auto enabled = [ui2] {
            return ui2->Label1->isEnabled() && ui2->Label2->isEnabled() && ui2->ComboBox1->isEnabled();
        };
        auto disabled = [ui2] {
            return !ui2->Label1->isEnabled() && !ui2->Label2->isEnabled() && !ui2->ComboBox1->isEnabled();
        };
        QVERIFY(disabled());
        t.form2()->show();
        QTest::mouseClick(ui2->RadioButton2, Qt::LeftButton, {}, QPoint(5, ui2->RadioButton2->height() / 2));
        QVERIFY(ui2->RadioButton2->isChecked());
        QVERIFY(enabled());
        QTest::mouseClick(ui2->RadioButton1, Qt::LeftButton, {}, QPoint(5, ui2->RadioButton1->height() / 2));
        QVERIFY(disabled());
        // Cancel keeps what the user left in the dialog.
        ui2->ComboBox1->setEditText("777");
        QTest::mouseClick(ui2->Button2, Qt::LeftButton);
        QCOMPARE(t.form2()->result(), int(QDialog::Rejected));
        QCOMPARE(ui2->ComboBox1->currentText(), QStringLiteral("777"));
    }

    void starChartDialogIsFilledFromTheSettings() {
        TestProgram t(QByteArray("SOFT,/opt/charts/stellarium\r\nSOFT,/usr/bin/kstars\r\nUSE,/usr/bin/kstars\r\nDT,1\r\n"));
        auto* ui3 = t.form3()->ui.get();
        QTRY_VERIFY_WITH_TIMEOUT(ui3->RadioButton2->isChecked(), 3000);
        QCOMPARE(ui3->ComboBox1->count(), 2);
        QCOMPARE(ui3->ComboBox1->itemText(0), QStringLiteral("stellarium"));
        QCOMPARE(ui3->ComboBox1->currentText(), QStringLiteral("kstars"));
        QCOMPARE(ui3->Label1->text(), QString());
        TestProgram none;
        QTRY_VERIFY_WITH_TIMEOUT(none.form3()->ui->RadioButton1->isChecked(), 3000);
        QCOMPARE(none.form3()->ui->Label1->text(), QStringLiteral("現在星座ソフトは登録されていません\r\n"));
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "app_settings_test.moc"
