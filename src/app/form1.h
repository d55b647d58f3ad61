// The main window: the picture view, the side panel with all commands, the shooting-data list.
// Its handlers are grouped by feature, one source file each (form1_<feature>.cpp); the arithmetic
// they use is the engine's.
#pragma once

#include "app/state.h"
#include "exif/exif_info.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QTemporaryDir;
class QTimer;

namespace Ui {
class TForm1;
}

namespace nocturo {

class TForm2;
class TForm3;
struct LoadedPicture;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // Creating the window is its FormCreate: StartupInit runs here, so a picture is shown
    // from the first paint on.
    TForm1(ProgramState& state, QWidget* parent = nullptr);
    ~TForm1() override;

    // The dialogs are created after the main window; Timer1's first tick fills them.
    void attachDialogs(TForm2* form2, TForm3* form3);

    ProgramState& st;
    std::unique_ptr<Ui::TForm1> ui;
    QTimer* Timer1 = nullptr;
    TExifInfo ExifInfo1;
    TForm2* Form2 = nullptr;
    TForm3* Form3 = nullptr;

    // ---- Start-up, lifecycle and settings (form1.cpp) ----
    void StartupInit();
    void Timer1Timer();
    void DialogInit();
    void UpdateSidePanel();
    bool FormCloseQuery();
    void WriteSettings();
    void ApplyStandardSettings();
    void Button7Click();

    // ---- Loading (form1_loading.cpp) ----
    // How the picture in st.PicturePath is to be loaded. The state's loading options take these
    // values only when the picture is installed: after a load that fails or never happens they
    // still describe the picture on the screen, whose strip the processing rectangle follows.
    struct LoadChoice {
        int ResizeOnLoad = 0;
        int ResizeLongSide = 0;
        int ShotDataStrip = 0;
    };
    // The forms without a choice load with the state's current options. The try forms report a
    // failure through error instead of a message box (start-up collects its problems and tells
    // them once the window is up). All return whether the picture was loaded.
    bool LoadPicture();
    bool LoadPicture(const LoadChoice& choice);
    bool tryLoadPicture(QString* error);
    bool tryLoadPicture(const LoadChoice& choice, QString* error);
    void ReadShotData();

    // ---- Picture sources: open dialog, drop, sample (form1_sources.cpp) ----
    bool tryShowSamplePicture(QString* error);
    void ShowSamplePicture();
    void Button1MouseDown(Qt::MouseButton button);
    void HandleFileDrop(const QString& firstFile);
    // Opens st.StartFile as a drop would (the image-size dialog, then the load) and clears it;
    // a file that cannot be read gets the loader's message and the sample stays.
    void OpenStartFile();
    // Asks the image-size dialog for the file in st.PicturePath and loads it on OK. False when
    // the load was tried and failed (the message has been shown).
    bool AskImageSizeAndLoad();

    // ---- The view and the display switches (form1_view.cpp) ----
    void RedrawView();
    void DrawShownRegion();
    void FormPaint();
    void FormResize();
    void RadioButton3Click();
    void RadioButton4Click();
    void CheckBox1Click();

    // ---- Mouse on the picture: readout, hint, pan, Shift-drag ranges (form1_mouse.cpp) ----
    void FormMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
    void FormMouseMove(Qt::KeyboardModifiers shift, int X, int Y);
    void FormMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);

    // ---- Zoom, display and side-panel commands (form1_zoom.cpp) ----
    void Button10Click();
    void Button9Click();
    void FormMouseWheel(int delta);
    void Button8Click();
    void Button6Click();
    void Panel9Click();
    void Panel1MouseDown(Qt::MouseButton button, int X, int Y);
    void Panel1MouseMove(int X, int Y);
    void Panel1MouseUp();
    void Panel8MouseMove();

    // ---- The navigator thumbnail (form1_navigator.cpp); coordinates inside Image1 ----
    void DrawNavigatorThumbnail();
    void PlaceNavigatorFrame();
    void Image1MouseDown(Qt::MouseButton button, int X, int Y);
    void Image1MouseMove(int X, int Y);

    // ---- Processing (form1_processing.cpp) ----
    void ExtractStars();
    void ProcessRectangle();
    void RestoreRectangle();
    void Button2MouseDown(Qt::MouseButton button);
    void Button12Click();
    void Panel2Click();
    // The colour of Panel2 (the specified background colour) as a colour value.
    ColorValue panel2Color() const;
    void setPanel2Color(ColorValue c);

    // ---- Saving and the external editor (form1_saving.cpp) ----
    void Button3MouseDown(Qt::MouseButton button);

    // ---- The star-chart program (form1_chart.cpp) ----
    void Button11Click();
    // Starts the chosen star-chart program, with the arguments of its template when it has one.
    void StartChartProgram();

    // The folder that StartupInit uses for the control folder instead of the executable's
    // (tests run each window in a folder of its own).
    static void setControlFolderOverride(const QString& folder);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Picks and prepares st.ControlFolder; what went wrong goes to problems.
    void prepareControlFolder(QStringList& problems);
    void fillValueLists();
    void installLoadedPicture(LoadedPicture&& picture, const LoadChoice& applied);
    // Reads the side panel, then runs the extraction over st.Proc with the busy cursor and the
    // progress bar, and ends in the processed state; copyOriginalFirst is ProcessRectangle's copy.
    void runExtraction(bool copyOriginalFirst);

    // Each feature connects its own controls and filters the events of its own widgets
    // (returning true for an event it consumed); eventFilter asks them in turn.
    void connectHandlers();
    void connectSourcesHandlers();
    void connectViewHandlers();
    void connectZoomHandlers();
    void connectNavigatorHandlers();
    void connectProcessingHandlers();
    void connectSavingHandlers();
    void connectChartHandlers();
    bool filterSourcesEvent(QObject* watched, QEvent* event);
    bool filterZoomEvent(QObject* watched, QEvent* event);
    bool filterNavigatorEvent(QObject* watched, QEvent* event);
    bool filterProcessingEvent(QObject* watched, QEvent* event);
    bool filterSavingEvent(QObject* watched, QEvent* event);
    // Runs a handler inside the error boundary, with this window as the message box's parent.
    void guarded(const std::function<void()>& handler);

    // The control folder when no other could be made: private to this user, gone at exit.
    std::unique_ptr<QTemporaryDir> privateControlFolder_;
};

// Creates the three windows in their order and owns them; the program's entry point and the
// window tests both start the program through it.
class NocturoProgram {
public:
    // startFile: a picture to open once the windows exist (the command line's FILE).
    explicit NocturoProgram(const QString& controlFolderOverride = QString(), const QString& startFile = QString());
    ~NocturoProgram();
    ProgramState state;
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm2> Form2;
    std::unique_ptr<TForm3> Form3;
};

}  // namespace nocturo
