// The main window's loading: a file (or the built-in sample) becomes the four working images,
// the shooting-data list, the caption and the file-name label. A load that fails changes nothing:
// everything is decoded into new images first and swapped in only on success.
#include "app/error_boundary.h"
#include "app/form1.h"
#include "common/paths.h"
#include "exif/photo_facts.h"
#include "extract/extraction.h"
#include "input/picture_loader.h"
#include "ui_form1.h"

#include <QFile>
#include <QSaveFile>

namespace nocturo {

namespace {

TForm1::LoadChoice currentChoice(const ProgramState& st) { return {st.ResizeOnLoad, st.ResizeLongSide, st.ShotDataStrip}; }

}  // namespace

void TForm1::ReadShotData() { st.Shot = nocturo::ReadShotData(ExifInfo1, st.PicturePath); }

bool TForm1::LoadPicture() { return LoadPicture(currentChoice(st)); }

bool TForm1::LoadPicture(const LoadChoice& choice) {
    QString error;
    if (tryLoadPicture(choice, &error)) return true;
    showErrorMessage(this, error);
    return false;
}

namespace {

// The loaded file's EXIF, kept for the save: the file may change or go before the picture is
// saved. A file whose EXIF cannot be opened simply has none.
std::shared_ptr<const TExifInfo> readSourceExif(const QString& path) {
    try {
        auto exif = std::make_shared<TExifInfo>();
        exif->setImageFileName(path);
        if (exif->Entrys().Count() > 0) return exif;
    } catch (const EExifError&) {
    }
    return nullptr;
}

}  // namespace

bool TForm1::tryLoadPicture(QString* error) { return tryLoadPicture(currentChoice(st), error); }

bool TForm1::tryLoadPicture(const LoadChoice& choice, QString* error) {
    LoadedPicture picture;
    ShotData shot;
    std::optional<GeoPosition> position;
    LoadOptions options;
    try {
        shot = nocturo::ReadShotData(ExifInfo1, st.PicturePath);
        position = ReadPhotoFacts(ExifInfo1).position;
        options.path = st.PicturePath;
        options.resize = choice.ResizeOnLoad != 0;
        options.longSide = choice.ResizeLongSide;
        setStripFromShotData(options, choice.ShotDataStrip > 0, shot);
        // The draw's lists get their pages on the other core while this one decodes.
        options.whileDecoding = PrepareDrawMemory;
        picture = loadPictureFile(options, st.TempPath1);
    } catch (...) {
        if (error)
            *error = QStringLiteral("画像を読み込めません: %1\n%2").arg(st.PicturePath, currentExceptionText());
        releaseUnusedPixelMemory();
        return false;
    }

    st.Shot = shot;
    st.ShotPosition = position;
    st.SourceExif = readSourceExif(options.path);
    LoadChoice applied = choice;
    applied.ShotDataStrip = options.strip ? 1 : 0;
    if (applied.ResizeOnLoad != 0) {
        applied.ResizeLongSide = picture.longSide;
        QFile::remove(st.TempPath1);
        QFile::remove(st.TempPath2);
    }
    ui->Label4->setText(fileNamePart(st.PicturePath));
    ui->Label4->adjustSize();
    ui->Label4->move((ui->Panel1->width() - ui->Label4->width()) / 2, ui->Label4->y());
    // The file's own size is kept for the "(原画 :" line; the images move into the state.
    const int fileWidth = picture.fileWidth, fileHeight = picture.fileHeight;
    installLoadedPicture(std::move(picture), applied);

    DrawNavigatorThumbnail();
    st.ProcessState = 1;
    UpdateSidePanel();
    st.ZoomFactor = 1.0f;
    RedrawView();
    setWindowTitle(st.PicturePath == st.TempPath1 ? QStringLiteral("Nocturo /  SamplePicture")
                                                   : QStringLiteral("Nocturo : ") + st.PicturePath);

    ui->ListBox1->clear();
    ui->ListBox1->resize(ui->ListBox1->width(), 33);
    ui->ListBox1->addItem(st.SizeLine);
    ui->ListBox1->addItem(QStringLiteral("(原画 :%1 x %2)").arg(fileWidth).arg(fileHeight));
    if (!st.Shot.ShotDateLine.isEmpty()) {
        ui->ListBox1->resize(ui->ListBox1->width(), 95);
        for (const QString* line : {&st.Shot.ShotDateLine, &st.Shot.ShotModelLine, &st.Shot.ShotIsoLine,
                                    &st.Shot.ShotShutterLine, &st.Shot.ShotFNumberLine, &st.Shot.ShotLensLine})
            ui->ListBox1->addItem(*line);
    }
    // The replaced picture's images are not needed for the next load.
    releaseUnusedPixelMemory();
    return true;
}

void TForm1::installLoadedPicture(LoadedPicture&& picture, const LoadChoice& applied) {
    st.ResizeOnLoad = applied.ResizeOnLoad;
    st.ResizeLongSide = applied.ResizeLongSide;
    st.ShotDataStrip = applied.ShotDataStrip;
    st.SourceImage = std::move(picture.source);
    st.ProcessedImage = std::move(picture.processed);
    st.MarkImage = std::move(picture.marks);
    st.ViewBuffer = WorkImage();
    st.WorkWidth = picture.workWidth;
    st.WorkHeight = picture.workHeight;
    st.SizeLine = QStringLiteral("ｻｲｽﾞ:%1 x %2").arg(st.SourceImage.width()).arg(st.SourceImage.height());
}

}  // namespace nocturo
