// Saving the processed picture as a JPEG, and handing it to the system's image editor.
#include "app/desktop.h"
#include "app/error_boundary.h"
#include "app/form1.h"
#include "app/mouse_press.h"
#include "common/int_parse.h"
#include "common/jpeg_codec.h"
#include "exif/exif_info.h"
#include "extract/saving.h"
#include "ui_form1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSaveFile>

namespace nocturo {

namespace {

// Writes the saved picture with the loaded picture's EXIF; the beep acknowledges the save whether
// the writing succeeded or not, and comes before the message of a failed one. An EXIF step that
// failed is in exifProblem.
void writeWithBeep(const ProgramState& st, bool invert, int quality, const QString& path, QString* exifProblem) {
    SaveExif exif;
    exif.source = st.SourceExif.get();
    try {
        WriteSavedPicture(st.ProcessedImage, invert, quality, path, exif, exifProblem);
    } catch (...) {
        beep();
        throw;
    }
    beep();
}

// Replaces target with a copy of source, atomically, so that a failed copy leaves the old file.
bool copyReplacing(const QString& source, const QString& target, QString* reason) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        *reason = in.errorString();
        return false;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        *reason = out.errorString();
        return false;
    }
    const QByteArray bytes = in.readAll();
    if (out.write(bytes) != bytes.size() || !out.commit()) {
        *reason = out.errorString();
        return false;
    }
    return true;
}

}  // namespace

void TForm1::connectSavingHandlers() {
    // The save button reacts to a press with any mouse button.
    ui->Button3->installEventFilter(this);
}

bool TForm1::filterSavingEvent(QObject* watched, QEvent* event) {
    if (watched != ui->Button3) return false;
    const Qt::MouseButton button = pressedButton(event);
    if (button == Qt::NoButton) return false;
    if (isCommandButton(button)) guarded([this, button] { Button3MouseDown(button); });
    return true;
}

void TForm1::Button3MouseDown(Qt::MouseButton button) {
    st.InvertDisplay = ui->CheckBox1->isChecked() ? 1 : 0;
    const bool invert = st.InvertDisplay == 1;
    if (button == Qt::LeftButton) {
        QFileDialog SavePictureDialog1(this);
        SavePictureDialog1.setObjectName(QStringLiteral("SavePictureDialog1"));
        SavePictureDialog1.setAcceptMode(QFileDialog::AcceptSave);
        SavePictureDialog1.setFileMode(QFileDialog::AnyFile);
        SavePictureDialog1.setOption(QFileDialog::DontUseNativeDialog);
        // Replacing an existing file is not asked about.
        SavePictureDialog1.setOption(QFileDialog::DontConfirmOverwrite);
        SavePictureDialog1.setNameFilter(QStringLiteral("JPG(*.jpg)"));
        if (SavePictureDialog1.exec() != QDialog::Accepted || SavePictureDialog1.selectedFiles().isEmpty()) return;
        st.SaveFileName = SavePictureDialog1.selectedFiles().first();
        if (!QFileInfo(st.SaveFileName).fileName().contains(QLatin1Char('.'))) st.SaveFileName += QStringLiteral(".jpg");
        st.SaveQuality = parseIntOrThrow(ui->ComboBox4->currentText());
        QString exifProblem;
        writeWithBeep(st, invert, st.SaveQuality, st.TempPath2, &exifProblem);
        QString reason;
        const bool copied = copyReplacing(st.TempPath2, st.SaveFileName, &reason);
        if (QFile::exists(st.TempPath1)) QFile::remove(st.TempPath1);
        if (QFile::exists(st.TempPath2)) QFile::remove(st.TempPath2);
        if (!copied)
            showErrorMessage(this, QStringLiteral("画像を保存できませんでした: %1\n%2").arg(st.SaveFileName, reason));
        else if (!exifProblem.isEmpty())
            showErrorMessage(this, exifProblem);
        return;
    }
    st.SaveFileName = st.DefaultSavePath;
    st.SaveQuality = parseIntOrThrow(ui->ComboBox4->currentText());
    // The user's picture folder need not exist on a fresh system; the editor hand-off needs it.
    QDir().mkpath(QFileInfo(st.SaveFileName).absolutePath());
    QString exifProblem;
    writeWithBeep(st, invert, st.SaveQuality, st.SaveFileName, &exifProblem);
    if (!exifProblem.isEmpty()) showErrorMessage(this, exifProblem);
    if (!documentOpener()(st.SaveFileName))
        showErrorMessage(this, QStringLiteral("保存した画像を開けませんでした: %1").arg(st.SaveFileName));
}

}  // namespace nocturo
