// Where pictures come from: the open dialog (left press on Button1), a file dropped on the main
// window, and the built-in sample (any other press on Button1, and start-up). A picture the user
// chose goes through the image-size dialog first.
#include "app/desktop.h"
#include "app/error_boundary.h"
#include "app/form1.h"
#include "app/form2.h"
#include "app/mouse_press.h"
#include "common/int_parse.h"
#include "common/paths.h"
#include "ui_form1.h"
#include "ui_form2.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

namespace nocturo {

void TForm1::connectSourcesHandlers() {
    // The picture button reacts to a press with any mouse button.
    ui->Button1->installEventFilter(this);
}

bool TForm1::filterSourcesEvent(QObject* watched, QEvent* event) {
    if (watched != ui->Button1) return false;
    const Qt::MouseButton button = pressedButton(event);
    if (button == Qt::NoButton) return false;
    if (isCommandButton(button)) guarded([this, button] { Button1MouseDown(button); });
    return true;
}

namespace {

// The names the open dialog lists and a drop takes: JPEG files by their suffix, in any letter case
// (the patterns spell the cases out, as a desktop's own dialog may match them case by case).
const QString kPictureFilter = QStringLiteral("JPG (*.[jJ][pP][gG] *.[jJ][pP][eE][gG])");

// A drop's test: the last three characters are JPG in any case (so a name without a dot before
// them counts too), or the name ends in .jpeg.
bool hasPictureSuffix(const QString& path) {
    return path.right(3).toUpper() == QStringLiteral("JPG") || path.endsWith(QStringLiteral(".jpeg"), Qt::CaseInsensitive);
}

}  // namespace

bool TForm1::AskImageSizeAndLoad() {
    TForm2* dialog = Form2;
    if (!dialog) return true;
    dialog->ui->Label4->setText(fileNamePart(st.PicturePath));
    dialog->ui->Label4->adjustSize();
    st.Shot.HasShotDate = 0;
    ReadShotData();
    if (st.Shot.HasShotDate > 0) {
        dialog->ui->Label3->setText(QStringLiteral("( %1 x %2 pixels)").arg(st.Shot.ShotPixelWidth, st.Shot.ShotPixelHeight));
        dialog->ui->Label5->setText(QString());
        dialog->ui->CheckBox1->setEnabled(true);
    } else {
        dialog->ui->Label3->setText(QString());
        dialog->ui->Label5->setText(QStringLiteral("( 撮影データは記録されていません）"));
        dialog->ui->CheckBox1->setEnabled(false);  // its check mark stays as it was
    }
    dialog->ui->Label3->adjustSize();
    dialog->ui->Label5->adjustSize();
    if (dialog->showCentredOver(this) != QDialog::Accepted) return true;
    LoadChoice choice;
    choice.ResizeOnLoad = dialog->ui->RadioButton2->isChecked() ? 1 : 0;
    choice.ShotDataStrip = dialog->ui->CheckBox1->isChecked() && st.Shot.HasShotDate != 0 ? 1 : 0;
    // Converted also when the original size was chosen: a text of letters loads nothing.
    choice.ResizeLongSide = parseIntOrThrow(dialog->ui->ComboBox1->currentText());
    return LoadPicture(choice);
}

void TForm1::Button1MouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton) {
        ShowSamplePicture();
        st.DisplayMode = 1;
        st.ZoomFactor = 1.0f;
        st.PanAnchorX = st.PanAnchorY = -10;
        st.ProcessState = 1;
        UpdateSidePanel();
        st.ZoomFactor = 1.0f;
        RedrawView();
        return;
    }
    QFileDialog OpenPictureDialog1(this);
    OpenPictureDialog1.setObjectName(QStringLiteral("OpenPictureDialog1"));
    OpenPictureDialog1.setFileMode(QFileDialog::ExistingFile);
    OpenPictureDialog1.setNameFilter(kPictureFilter);
    OpenPictureDialog1.setOption(QFileDialog::HideNameFilterDetails);
    if (OpenPictureDialog1.exec() != QDialog::Accepted || OpenPictureDialog1.selectedFiles().isEmpty()) return;
    st.PicturePath = OpenPictureDialog1.selectedFiles().first();
    if (!QFileInfo::exists(st.PicturePath)) return;
    AskImageSizeAndLoad();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) return;
    event->acceptProposedAction();
    // The program the file came from waits until the drop returns: the dialog and the load
    // follow from the event loop.
    QTimer::singleShot(0, this, [this, path = urls.first().toLocalFile()] { guarded([this, path] { HandleFileDrop(path); }); });
}

void TForm1::HandleFileDrop(const QString& firstFile) {
    st.DroppedFile = firstFile;
    // Only the first file of a drop counts, and only an existing file with a JPEG name; anything
    // else is ignored without a word.
    const QFileInfo info(st.DroppedFile);
    if (!info.isFile() || !hasPictureSuffix(st.DroppedFile)) return;
    st.PicturePath = st.DroppedFile;
    // The beep ends a drop whose dialog was answered, loaded or not; a failure has ended it with
    // its message instead.
    if (AskImageSizeAndLoad()) beep();
}

void TForm1::OpenStartFile() {
    struct ClearAtEnd {
        QString& file;
        ~ClearAtEnd() { file.clear(); }
    } clear{st.StartFile};
    if (st.StartFile.isEmpty()) return;
    // The dialogs are filled from the settings before they are asked, not a second later.
    if (Timer1->isActive()) Timer1Timer();
    // Absolute, as the settings keep it for the next start from any folder. Any file goes to the
    // loader: a file manager hands over .jpeg files too, and the decoder judges by content.
    st.PicturePath = QFileInfo(st.StartFile).absoluteFilePath();
    const QFileInfo info(st.PicturePath);
    if (!info.isFile() || !info.isReadable()) {
        LoadPicture();  // fails, and says so as for a dropped file that does not load
        return;
    }
    // One beep at the end, as after a drop; a load that failed ends at its message.
    if (AskImageSizeAndLoad()) beep();
}

bool TForm1::tryShowSamplePicture(QString* error) {
    QFile resource(QStringLiteral(":/coverpic"));
    QSaveFile out(st.TempPath1);
    if (!resource.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || out.write(resource.readAll()) < 0 ||
        !out.commit()) {
        if (error) *error = QStringLiteral("サンプル画像を書き出せません: %1\n%2").arg(st.TempPath1, out.errorString());
        return false;
    }
    const QString previousPath = st.PicturePath;
    st.PicturePath = st.TempPath1;
    // Always at its own size, with the strip when it has a shooting date (the built-in one has).
    LoadChoice choice;
    choice.ResizeOnLoad = 0;
    choice.ResizeLongSide = st.ResizeLongSide;
    choice.ShotDataStrip = 1;
    const bool loaded = tryLoadPicture(choice, error);
    if (loaded) {
        ui->Label4->setText(QStringLiteral("SAMPLE"));
        ui->Label4->adjustSize();
    } else {
        st.PicturePath = previousPath;
    }
    QFile::remove(st.TempPath1);
    return loaded;
}

void TForm1::ShowSamplePicture() {
    QString error;
    if (!tryShowSamplePicture(&error)) showErrorMessage(this, error);
}

}  // namespace nocturo
