#include "chart/julian_day.h"

#include <cmath>

namespace nocturo {

namespace {

QString dateTimeErrorMessage(const QString& text) {
    return QStringLiteral("'%1' は日付または時刻ではありません").arg(text);
}

// The number of count decimal digits at text[from], or -1 when one of them is not a digit.
int digitsAt(const QString& text, qsizetype from, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text[from + i];
        if (c < u'0' || c > u'9') return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's days_from_civil).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// Removes the time-zone name ("t" ... "tttt" outside quotes) and the blank beside it.
QString withoutZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') {
            while (i + 1 < format.size() && format[i + 1] == u't') ++i;
            if (out.endsWith(u' '))
                out.chop(1);
            else if (i + 1 < format.size() && format[i + 1] == u' ')
                ++i;
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

// The time with hours, minutes and seconds in digits, as the desktop's long time format writes it:
// the locale's short format (hours and minutes) with the seconds after the minutes behind the same
// separator, so "H:mm" gives "H:mm:ss". Qt's long format spells the units out in some locales
// ("H時mm分ss秒"). A short format that does not separate its minutes so is left to the long one.
QString timeWithSeconds(const QLocale& locale) {
    const QString shortFormat = locale.timeFormat(QLocale::ShortFormat);
    const qsizetype minutes = shortFormat.indexOf(QStringLiteral("mm"));
    if (shortFormat.contains(u's') || shortFormat.contains(u'\'') || minutes < 1 || shortFormat[minutes - 1].isLetterOrNumber())
        return withoutZone(locale.timeFormat(QLocale::LongFormat));
    QString format = shortFormat;
    format.insert(minutes + 2, shortFormat[minutes - 1] + QStringLiteral("ss"));
    return withoutZone(format);
}

}  // namespace

DateTimeError::DateTimeError(const QString& text)
    : std::runtime_error(dateTimeErrorMessage(text).toStdString()), text_(text) {}

double dayCount(int year, int month, int day, int hour, int minute, int second) {
    const long long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                           daysFromCivil(1899, 12, 30);
    // The time as the platform's time encoding computes it: milliseconds of the day over a day.
    const double fraction = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0) / 86400000.0;
    // One linear count on both sides of 1899-12-30, so that the Julian day stays right there too.
    return static_cast<double>(days) + fraction;
}

ShotDateTime readShotDateTime(const QString& text) {
    const QString s = text.trimmed();
    // YYYY/MM/DD hh:mm:ss
    static constexpr char16_t kSeparators[] = {u'/', u'/', u' ', u':', u':'};
    static constexpr int kSeparatorAt[] = {4, 7, 10, 13, 16};
    if (s.size() != 19) throw DateTimeError(text);
    for (int i = 0; i < 5; ++i)
        if (s[kSeparatorAt[i]] != QChar(kSeparators[i])) throw DateTimeError(text);
    const int year = digitsAt(s, 0, 4), month = digitsAt(s, 5, 2), day = digitsAt(s, 8, 2);
    const int hour = digitsAt(s, 11, 2), minute = digitsAt(s, 14, 2), second = digitsAt(s, 17, 2);
    ShotDateTime t;
    t.date = QDate(year, month, day);
    t.time = QTime(hour, minute, second);
    // Year 0 does not exist in the date encoding; the others fail on a part out of range.
    if (year < 1 || month < 1 || day < 1 || hour < 0 || minute < 0 || second < 0 || !t.date.isValid() ||
        !t.time.isValid())
        throw DateTimeError(text);
    t.days = dayCount(year, month, day, hour, minute, second);
    return t;
}

QString generalNumberText(double value, const QString& decimalSeparator) {
    // %.15g: 15 significant digits, trailing zeros and a bare point removed.
    QString s = QString::number(value, 'g', 15);
    s.replace(u'.', decimalSeparator);
    return s;
}

QString localDateTimeText(const ShotDateTime& t, const QLocale& locale) {
    const QString date = locale.toString(t.date, locale.dateFormat(QLocale::ShortFormat));
    if (t.time == QTime(0, 0)) return date;
    return date + u' ' + locale.toString(t.time, timeWithSeconds(locale));
}

}  // namespace nocturo
