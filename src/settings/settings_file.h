// The settings file ctrl.txt: lines of key, comma, value, read once at start-up and written once
// at close. Plain data in and out; the windows copy it into and out of their controls.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

namespace nocturo {

// Room of the star-chart list and of the fields of one line.
constexpr int kMaxChartPrograms = 100;
constexpr int kMaxLineFields = 20;
// A field after a separator is cut to this many characters before it is split further.
constexpr int kMaxFieldRest = 5000;

// Fields 1..20 of one line; index 0 is unused so that the numbering reads as in the file
// description. Unfilled fields are empty.
using LineFields = std::array<QString, kMaxLineFields + 1>;

// Breaks a line at every occurrence of separator. Each field loses its leading and trailing blanks
// and control characters; an empty field before a separator and an empty last field read "0".
// Fields after the 20th are ignored.
LineFields SplitLine(const QString& line, const QString& separator);

// What the reader hands to start-up. Every member starts at its default, so a default-constructed
// value is what a missing file gives.
struct SettingsRead {
    int SettingThreshold = 10;   // SH
    int SettingBrightness = 30;  // LT
    int SettingSaturation = 0;   // S
    int SettingQuality = 50;     // Q
    int SettingLongSide = 1280;  // PSIZE
    int SettingBackColor = 0;    // BKCOL, red in the low byte
    int SettingEnlarge = 1;      // BIG
    int SettingShotData = 1;     // DATA
    int SettingResize = 0;       // COMP
    int SettingDateFormat = 0;   // DT
    QString SettingPicture;      // PIC

    std::array<QString, kMaxChartPrograms> ChartPrograms;  // SOFT lines, first ChartProgramCount valid
    // The argument template of each entry: the whole text after the SOFT line's second comma
    // (commas included), empty when the line has no third field.
    std::array<QString, kMaxChartPrograms> ChartTemplates;
    int ChartProgramCount = 0;
    QString ChartProgram;  // USE, or the only SOFT entry

    // Readable texts of what could not be taken over (a number that is not an integer, an
    // unreadable file). Reading goes on past them; start-up may show them to the user.
    QStringList Problems;
};

// Parses the bytes of a settings file (UTF-8, or CP932 when they are not valid UTF-8; LF or CR LF).
SettingsRead ParseSettings(const QByteArray& bytes);
// Defaults, then the file at path when it exists. Never throws.
SettingsRead ReadSettings(const QString& path);

// What the writer saves: the texts of the controls as the user left them, and the variables.
struct SettingsToWrite {
    std::array<QString, kMaxChartPrograms> ChartPrograms;
    // Written as a third field of the SOFT line when not empty; a line without one is the line
    // it always was, and a reader that knows two fields still finds the path in the second.
    std::array<QString, kMaxChartPrograms> ChartTemplates;
    int ChartProgramCount = 0;
    QString ChartProgram;

    QString ThresholdText;   // ComboBox1
    QString BrightnessText;  // ComboBox2
    QString SaturationText;  // ComboBox3
    QString QualityText;     // ComboBox4
    QString LongSideText;    // Form2's ComboBox1
    int BackColor = 0;       // colour of Panel2
    bool Enlarge = true;     // CheckBox2
    bool ShotData = true;    // Form2's CheckBox1
    bool ResizeFirst = false;  // Form2's RadioButton2 "リサイズしてから処理"
    QString PicturePath;
    int ClipDateFormat = 0;
};

// The file's bytes: UTF-8, CR LF after every line, keys upper-case in the writer's order, values as
// they are except that a value is cut before its first line break (a break would start a new line
// that the reader takes for a key of its own).
QByteArray FormatSettings(const SettingsToWrite& values);

// Replaces the file at path atomically: the old file stays intact when anything fails. On failure
// returns false and, when error is given, a text naming the path and the system's reason.
bool WriteSettingsFile(const QString& path, const SettingsToWrite& values, QString* error = nullptr);

}  // namespace nocturo
