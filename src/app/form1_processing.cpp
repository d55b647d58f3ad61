// The main window's processing commands: the full-picture draw, the range operations, the revert
// and the choice of the background colour. The arithmetic is the engine's; these handlers read the
// side panel, show progress and switch the window to the processed state.
#include "app/desktop.h"
#include "app/error_boundary.h"
#include "app/form1.h"
#include "app/mouse_press.h"
#include "common/int_parse.h"
#include "extract/processing.h"
#include "ui_form1.h"

#include <QApplication>
#include <QColorDialog>
#include <QElapsedTimer>
#include <QThread>

namespace nocturo {

namespace {

// The busy cursor and the progress bar are put back however the run ends.
class BusyRun {
public:
    explicit BusyRun(QProgressBar* bar) : bar_(bar) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bar_->setValue(0);
        bar_->show();
        bar_->repaint();
    }
    ~BusyRun() {
        bar_->hide();
        if (!restored_) QApplication::restoreOverrideCursor();
    }
    void restoreCursor() {
        if (!restored_) QApplication::restoreOverrideCursor();
        restored_ = true;
    }

private:
    QProgressBar* bar_;
    bool restored_ = false;
};

// Commands given during a run are handled here, nested inside it, as the passes themselves
// dispatch nothing.
void dispatchPendingEventsFor(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents();
        if (clock.elapsed() >= milliseconds) break;
        QThread::msleep(2);
    } while (clock.elapsed() < milliseconds);
}

}  // namespace

void TForm1::connectProcessingHandlers() {
    connectGuarded(ui->Button12, &QPushButton::clicked, this, [this] { Button12Click(); });
    // The draw button and the colour panel react to a press with any mouse button.
    ui->Button2->installEventFilter(this);
    ui->Panel2->installEventFilter(this);
}

bool TForm1::filterProcessingEvent(QObject* watched, QEvent* event) {
    const Qt::MouseButton button = pressedButton(event);
    if (button == Qt::NoButton) return false;
    if (!isCommandButton(button)) return watched == ui->Button2 || watched == ui->Panel2;
    if (watched == ui->Button2) {
        // The button takes the press before the draw: the release of the same click, which
        // comes while the draw dispatches events at its end, then finds it down and lets it up.
        if (button == Qt::LeftButton) static_cast<QObject*>(ui->Button2)->event(event);
        guarded([this, button] { Button2MouseDown(button); });
        return true;
    }
    if (watched == ui->Panel2) {
        if (button == Qt::LeftButton) guarded([this] { Panel2Click(); });
        return true;
    }
    return false;
}

ColorValue TForm1::panel2Color() const { return ui->Panel2->property("colorValue").toUInt(); }

void TForm1::setPanel2Color(ColorValue c) {
    ui->Panel2->setProperty("colorValue", static_cast<uint>(c));
    ui->Panel2->setStyleSheet(QStringLiteral("QFrame#Panel2 { background-color: rgb(%1, %2, %3); }")
                                  .arg(colorRed(c))
                                  .arg(colorGreen(c))
                                  .arg(colorBlue(c)));
}

// Reads threshold, brightness and saturation in this order; a text that is not an integer
// throws the conversion error before any pixel has changed.
static ExtractionParams readExtractionParams(TForm1& f) {
    ExtractionParams p;
    p.StarThreshold = parseIntOrThrow(f.ui->ComboBox1->currentText());
    p.BrightnessPercent = parseIntOrThrow(f.ui->ComboBox2->currentText());
    p.SaturationPercent = parseIntOrThrow(f.ui->ComboBox3->currentText());
    p.SpecifiedColourMode = f.ui->RadioButton2->isChecked();
    p.ExtractionColor = f.panel2Color();
    p.EnlargeBrightStars = f.ui->CheckBox2->isChecked();
    p.BackgroundOnlyMode = f.st.BackgroundOnlyMode;
    return p;
}

void TForm1::runExtraction(bool copyOriginalFirst) {
    const ExtractionParams params = readExtractionParams(*this);
    WorkingImages images{st.SourceImage, st.ProcessedImage, st.MarkImage, st.WorkWidth, st.WorkHeight};
    BusyRun busy(ui->ProgressBar1);
    QProgressBar* bar = ui->ProgressBar1;
    const ProgressCallback progress = [bar](int percent) {
        if (bar->value() == percent) return;
        bar->setValue(percent);
        bar->repaint();
    };
    st.StarCount = copyOriginalFirst ? nocturo::ProcessRectangle(images, st.Proc, params, progress)
                                     : nocturo::ExtractStars(images, st.Proc, params, progress);
    st.LastExtraction = params;
    ui->Edit1->setText(QString::number(st.StarCount));

    dispatchPendingEventsFor(200);
    st.ProcessState = 2;
    bar->hide();
    UpdateSidePanel();
    st.DisplayMode = 2;
    RedrawView();
    beep();
    busy.restoreCursor();
}

void TForm1::ExtractStars() { runExtraction(false); }

void TForm1::ProcessRectangle() { runExtraction(true); }

void TForm1::RestoreRectangle() {
    WorkingImages images{st.SourceImage, st.ProcessedImage, st.MarkImage, st.WorkWidth, st.WorkHeight};
    const bool specifiedColour = !ui->RadioButton1->isChecked();
    if (specifiedColour) st.BackgroundColor = panel2Color();
    st.DisplayMode = 2;
    st.StarCount = nocturo::RestoreRectangle(images, st.Proc, specifiedColour, panel2Color());
    ui->Edit1->setText(QString::number(st.StarCount));
    RedrawView();
}

void TForm1::Button2MouseDown(Qt::MouseButton button) {
    st.Proc = fullPictureRect(st.SourceImage, st.ShotDataStrip);
    st.BackgroundOnlyMode = button == Qt::LeftButton ? 0 : 1;
    ProcessRectangle();
}

void TForm1::Button12Click() {
    st.ProcessState = 1;
    st.Proc = revertRect(st.SourceImage);
    RevertPicture(st.SourceImage, st.ProcessedImage);
    RedrawView();
    UpdateSidePanel();
}

void TForm1::Panel2Click() {
    QColorDialog ColorDialog1(this);
    ColorDialog1.setObjectName(QStringLiteral("ColorDialog1"));
    const ColorValue current = panel2Color();
    ColorDialog1.setCurrentColor(QColor(colorRed(current), colorGreen(current), colorBlue(current)));
    if (ColorDialog1.exec() != QDialog::Accepted) return;
    const QColor chosen = ColorDialog1.selectedColor();
    ui->RadioButton2->setChecked(true);
    setPanel2Color(makeColor(chosen.red(), chosen.green(), chosen.blue()));
}

}  // namespace nocturo
