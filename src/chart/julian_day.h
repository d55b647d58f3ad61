// The shooting time as a day count and as the Julian day that star-chart programs take, and the
// texts the star-chart dialog shows for them.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

#include <stdexcept>

namespace nocturo {

// Thrown for a text that is not a date and time. what() is UTF-8 and reads
// "'text' は日付または時刻ではありません"; the error boundary shows it in a message box.
class DateTimeError : public std::runtime_error {
public:
    explicit DateTimeError(const QString& text);
    const QString& text() const { return text_; }

private:
    QString text_;
};

// A date and time as read from the shooting-data text, with its day count: whole days since
// 1899-12-30 00:00 plus the elapsed fraction of the day.
struct ShotDateTime {
    QDate date;
    QTime time;
    double days = 0.0;
};

// Reads "YYYY/MM/DD hh:mm:ss" (blanks around it allowed), the form the shooting-data summary
// builds; anything else, or a date or time that does not exist, throws DateTimeError.
ShotDateTime readShotDateTime(const QString& text);

// Days since 1899-12-30 for a date of the proleptic Gregorian calendar, plus the time of day.
double dayCount(int year, int month, int day, int hour, int minute, int second);

// The Julian day of a shooting time taken as Japanese local time (UT + 9 h).
inline double julianDay(double days) { return days - 0.375 + 2415018.5; }

// The number in the general format: at most 15 significant digits, no trailing zeros, the given
// decimal separator.
QString generalNumberText(double value, const QString& decimalSeparator);

// The date and time for display in the locale: its short date format, a blank and its time with
// seconds in digits (as the desktop's long time format, without a time-zone name: the shooting
// time carries none); the date alone at midnight. Under the Japanese locale this is the form the
// shooting time came in, "2015/08/12 21:30:05".
QString localDateTimeText(const ShotDateTime& t, const QLocale& locale);

}  // namespace nocturo
