// The program state: everything that outlives one event handler, shared by the three windows.
// One instance lives for the whole run (owned by the program object); all of it is touched on the
// user-interface thread only.
#pragma once

#include "settings/settings_file.h"
#include "common/work_image.h"
#include "exif/photo_facts.h"
#include "exif/shot_data.h"
#include "extract/extraction.h"
#include "viewer/view_transform.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace nocturo {

struct ProgramState {
    // Working images: replaced together by every successful load, never by anything else.
    WorkImage SourceImage;
    WorkImage ProcessedImage;
    WorkImage ViewBuffer;
    WorkImage MarkImage;
    int WorkWidth = 0;
    int WorkHeight = 0;

    // Files and folders, set once by start-up.
    QString ControlFolder;
    QString SettingsPath;
    QString TempPath1;
    QString TempPath2;
    QString DefaultSavePath;
    QString PicturePath;
    QString DroppedFile;
    // The picture named on the command line: start-up shows the sample, and once the windows
    // exist the file is opened like a drop. Empty again when that is done.
    QString StartFile;

    // Loading options for the next load.
    int ResizeOnLoad = 0;
    int ResizeLongSide = 0;
    int ShotDataStrip = 0;

    // Settings as read at start-up; consumed by StartupInit and DialogInit.
    SettingsRead Settings;

    // Star-chart programs.
    std::array<QString, kMaxChartPrograms> ChartPrograms;
    // The argument template of each entry (Form3's "起動オプション"), empty for none.
    std::array<QString, kMaxChartPrograms> ChartTemplates;
    int ChartProgramCount = 0;
    QString ChartProgram;
    QString ChartTemplate;  // the template of the entry chosen with ChartProgram
    int ClipDateFormat = 0;
    QString ChartDateText;
    QString ChartJulianText;

    // View and processing state.
    int ProcessState = 0;
    int DisplayMode = 0;
    float ZoomFactor = 0.0f;
    int PanAnchorX = 0;
    int PanAnchorY = 0;
    int PanelLeft = 0;
    int PanelTop = 0;
    int PanelDragX = 0;   // where a side-panel drag started inside Panel1; -1 after a release
    int PanelDragY = 0;

    // The Shift-drag rubber band, in window coordinates.
    bool BandActive = false;
    int BandStartX = 0;
    int BandStartY = 0;
    int BandEndX = 0;
    int BandEndY = 0;

    // The last save.
    QString SaveFileName;
    int SaveQuality = 0;
    ColorValue BackgroundColor = 0;
    ProcRect Proc;             // ProcLeft .. ProcHeight
    int BackgroundOnlyMode = 0;
    int StarCount = 0;
    ExtractionParams LastExtraction;  // StarThreshold .. EnlargeBrightStars of the last run

    // The view transform of the last redraw, the inversion it was drawn with, and where the hint
    // may reach.
    ViewState View;
    int InvertDisplay = 0;
    int HintRightLimit = 0;

    // The navigator thumbnail inside Image1 and its place in Panel1.
    int ThumbWidth = 0;
    int ThumbHeight = 0;
    int ThumbOffsetX = 0;
    int ThumbOffsetY = 0;
    int ThumbLeft = 0;
    int ThumbTop = 0;

    // Shooting-data texts of the picture named by PicturePath at the last ReadShotData.
    ShotData Shot;
    // Where the picture was taken, when its EXIF data says so.
    std::optional<GeoPosition> ShotPosition;
    QString SizeLine;
    // The EXIF entries of the loaded picture, read with it, that a saved picture carries on;
    // null when it has none.
    std::shared_ptr<const TExifInfo> SourceExif;
};

}  // namespace nocturo
