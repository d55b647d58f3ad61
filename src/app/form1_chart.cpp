// The star-chart button: the shooting time to the clipboard, the dialog, the program started.
#include "app/desktop.h"
#include "app/error_boundary.h"
#include "app/form1.h"
#include "app/form3.h"
#include "chart/julian_day.h"
#include "chart/launch_template.h"
#include "ui_form1.h"
#include "ui_form3.h"

#include <QClipboard>
#include <QFileInfo>
#include <QMessageBox>
#include <QGuiApplication>
#include <QLocale>

namespace nocturo {

void TForm1::connectChartHandlers() {
    connectGuarded(ui->Button11, &QPushButton::clicked, this, [this] { Button11Click(); });
}

void TForm1::Button11Click() {
    if (!Form3) return;
    if (st.Shot.HasShotDate > 0) {
        // Read first: a text that is no date ends the command with everything as it was.
        const ShotDateTime t = readShotDateTime(st.Shot.ShotDateText);
        // The user's locale (the system's, unless the program or a test has set another).
        const QLocale locale;
        st.ChartDateText = localDateTimeText(t, locale);
        st.ChartJulianText = generalNumberText(julianDay(t.days), locale.decimalPoint());
        Form3->ui->Edit1->setText(st.ChartDateText);
        Form3->ui->Edit2->setText(st.ChartJulianText);
        // Neither button checked (before start-up set them) counts as the Julian day.
        st.ClipDateFormat = Form3->ui->RadioButton1->isChecked() ? 0 : 1;
        QGuiApplication::clipboard()->setText(st.ClipDateFormat == 0 ? st.Shot.ShotDateText : st.ChartJulianText);
    } else {
        Form3->ui->Edit1->setText(QStringLiteral("No Data"));
        Form3->ui->Edit2->setText(QStringLiteral("No Data"));
    }
    if (Form3->exec() == QDialog::Accepted) StartChartProgram();
}

void TForm1::StartChartProgram() {
    const QString options = st.ChartTemplate.trimmed();
    if (options.isEmpty()) {
        programStarter()(st.ChartProgram);
        return;
    }
    TemplateValues values;
    if (st.Shot.HasShotDate > 0) {
        // Read before the dialog opened, so it reads here too.
        const ShotDateTime t = readShotDateTime(st.Shot.ShotDateText);
        values.date = t.date;
        values.time = t.time;
        values.julianDay = julianDay(t.days);
    }
    if (st.ShotPosition) {
        values.latitude = st.ShotPosition->latitude;
        values.longitude = st.ShotPosition->longitude;
    }
    // The sample's copy is gone once it is loaded: no file to hand on.
    if (QFileInfo(st.PicturePath).isFile()) values.file = st.PicturePath;
    const LaunchArguments launch = expandTemplate(options, values);
    if (!launch.ok) {
        showErrorMessage(this, launch.error + QStringLiteral("\n星図ソフトは起動しませんでした。"));
        return;
    }
    programLauncher()(st.ChartProgram, launch.arguments);
    if (!launch.omitted.isEmpty()) {
        QMessageBox box(QMessageBox::Information, windowTitle(), omittedArgumentsMessage(launch.omitted),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

}  // namespace nocturo
