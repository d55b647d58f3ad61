#include "app/startup_report.h"

#include "app/desktop.h"
#include "app/form1.h"
#include "app/form2.h"
#include "ui_form1.h"
#include "ui_form2.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

namespace nocturo {

namespace {

constexpr int kTickMs = 20;
constexpr qint64 kGiveUpMs = 60000;

class StartupReport : public QObject {
public:
    StartupReport(NocturoProgram& program, QString path) : QObject(program.Form1.get()), program_(program), path_(std::move(path)) {
        clock_.start();
        connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
        timer_.start(kTickMs);
    }

private:
    void tick() {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
            answer(modal);
            return;
        }
        TForm1* form1 = program_.Form1.get();
        const bool settled = program_.state.StartFile.isEmpty() && form1->isVisible();
        if (settled || clock_.elapsed() > kGiveUpMs) finish(settled);
    }

    void answer(QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            lines_ << QStringLiteral("message=") + oneLine(box->text());
            box->accept();
        } else if (auto* sizeDialog = qobject_cast<TForm2*>(modal)) {
            lines_ << QStringLiteral("dialog=image-size");
            sizeDialog->ui->Button1->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            lines_ << QStringLiteral("dialog=") + QString::fromLatin1(dialog->metaObject()->className());
            dialog->reject();
        } else {
            modal->close();
        }
    }

    void finish(bool settled) {
        timer_.stop();
        const ProgramState& st = program_.state;
        TForm1* form1 = program_.Form1.get();
        lines_ << QStringLiteral("settled=%1").arg(settled ? 1 : 0)
               << QStringLiteral("title=") + form1->windowTitle()
               << QStringLiteral("label=") + form1->ui->Label4->text()
               << QStringLiteral("picture=") + st.PicturePath
               << QStringLiteral("size=%1x%2").arg(st.SourceImage.width()).arg(st.SourceImage.height())
               << QStringLiteral("controlfolder=") + st.ControlFolder
               << QStringLiteral("help=") + installedDocumentPath(QStringLiteral("help/index.html"))
               << QStringLiteral("starsofthelp=") + installedDocumentPath(QStringLiteral("help/starsoft.html"));
        QFile out(path_);
        const bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                             out.write((lines_.join(u'\n') + u'\n').toUtf8()) >= 0;
        QCoreApplication::exit(written && settled ? 0 : 3);
    }

    static QString oneLine(QString text) { return text.replace(u'\n', QStringLiteral(" | ")); }

    NocturoProgram& program_;
    QString path_;
    QStringList lines_;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace

void armStartupReport(NocturoProgram& program) {
    const QString path = qEnvironmentVariable("NOCTURO_TEST_REPORT");
    if (!path.isEmpty()) new StartupReport(program, path);
}

}  // namespace nocturo
