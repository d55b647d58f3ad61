// The argument template of a star-chart program: words split as a shell splits them (quotes keep
// blanks together), with placeholders for the shooting time, the place and the picture file. The
// arguments go to the program directly, never through a shell.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace nocturo {

// Words of text: blanks separate them; '...' keeps everything literally; "..." keeps everything
// but lets a backslash escape " \ $ and `; a backslash outside quotes takes the next character
// literally. An unclosed quote gives nothing, with the reason in error.
std::optional<QStringList> splitWords(const QString& text, QString* error = nullptr);

// What the placeholders stand for; a value that is absent leaves out every argument using it.
struct TemplateValues {
    std::optional<QDate> date;  // {date} YYYY-MM-DD, {yyyymmdd}; the shooting date
    std::optional<QTime> time;  // {time} HH:MM:SS
    std::optional<double> julianDay;  // {jd}, six decimals
    std::optional<double> latitude, longitude;  // {lat} {lon}, signed degrees, six decimals
    QString file;  // {file}; empty counts as absent
};

struct LaunchArguments {
    bool ok = false;       // false: the template cannot be split (error says why)
    QString error;
    QStringList arguments;
    QStringList omitted;   // the placeholders without a value, "{lat}" etc., in the order met
};

// Splits the template, then replaces the placeholders inside each word in one pass (a value that
// itself contains "{date}" stays as it is). Unknown names in braces stay literally.
LaunchArguments expandTemplate(const QString& templateText, const TemplateValues& values);

// The notice for arguments left out, or an empty text when none were.
QString omittedArgumentsMessage(const QStringList& omitted);

}  // namespace nocturo
