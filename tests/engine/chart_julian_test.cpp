// The shooting time read into a day count, the Julian day and the texts of the star-chart dialog.
#include "chart/julian_day.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace nocturo;

namespace {

// A plain reference: days between two dates counted one day at a time.
int referenceDaysSince18991230(int y, int m, int d) {
    auto leap = [](int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; };
    static const int kMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    auto ordinal = [&](int year, int month, int day) {  // days since 0001-01-01
        long n = 0;
        for (int yy = 1; yy < year; ++yy) n += leap(yy) ? 366 : 365;
        for (int mm = 1; mm < month; ++mm) n += kMonth[mm - 1] + (mm == 2 && leap(year) ? 1 : 0);
        return n + day - 1;
    };
    return static_cast<int>(ordinal(y, m, d) - ordinal(1899, 12, 30));
}

}  // namespace

TEST(ChartJulianDay, WorkedExamplesGiveTheDayCountAndJulianText) {
    struct Case {
        const char* text;
        double days;  // worked out by hand: whole days plus seconds / 86400
        const char* julian;
    } cases[] = {
        {"2015/08/12 21:30:05", 42228.0 + 77405.0 / 86400.0, "2457247.0208912"},
        {"2000/01/01 09:00:00", 36526.375, "2451544.5"},
        {"1899/12/30 00:00:00", 0.0, "2415018.125"},
        {"1899/12/30 09:00:00", 0.375, "2415018.5"},
        {"1970/01/01 09:00:00", 25569.375, "2440587.5"},
        {"2024/02/29 23:59:59", 45351.0 + 86399.0 / 86400.0, "2460370.12498843"},
        {"  2000/01/01 09:00:00 ", 36526.375, "2451544.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ShotDateTime t = readShotDateTime(QString::fromUtf8(c.text));
        EXPECT_NEAR(t.days, c.days, 1e-9);
        EXPECT_EQ(generalNumberText(julianDay(t.days), QStringLiteral(".")).toStdString(), c.julian);
    }
    // The worked example to the digits it is quoted with.
    EXPECT_EQ(QString::number(readShotDateTime("2015/08/12 21:30:05").days, 'f', 10), QStringLiteral("42228.8958912037"));
}

TEST(ChartJulianDay, DayCountAgreesWithACalendarCountAcrossLeapRules) {
    struct Ymd {
        int y, m, d;
    } dates[] = {{1, 1, 1}, {1600, 2, 29}, {1700, 3, 1}, {1899, 12, 29}, {1900, 3, 1}, {2000, 2, 29}, {2100, 3, 1}, {9999, 12, 31}};
    for (const Ymd& d : dates) {
        SCOPED_TRACE(testing::Message() << d.y << "/" << d.m << "/" << d.d);
        EXPECT_EQ(dayCount(d.y, d.m, d.d, 0, 0, 0), referenceDaysSince18991230(d.y, d.m, d.d));
    }
    // Before the epoch the count stays linear: 1899/12/29 12:00 is half a day before 1899/12/30.
    EXPECT_DOUBLE_EQ(dayCount(1899, 12, 29, 12, 0, 0), -0.5);
    EXPECT_DOUBLE_EQ(julianDay(-0.5), 2415017.625);
}

TEST(ChartJulianDay, TextsThatAreNoDateTimeAreRefusedWithTheirMessage) {
    const char* bad[] = {
        "",
        "    /  /     :  :  ",    // an EXIF date left blank by the camera
        "2015:08:12 21:30:05",    // the EXIF form, not converted
        "2015/08/12",             // no time
        "2015/08/12 21:30",       // no seconds
        "2015/8/12 21:30:05",     // one-digit month
        "2015/13/01 00:00:00",    // month out of range
        "2015/02/29 00:00:00",    // no leap day in 2015
        "2015/04/31 00:00:00",
        "0000/01/01 00:00:00",    // year 0
        "2015/08/12 24:00:00",
        "2015/08/12 21:60:05",
        "2015/08/12 21:30:60",
        "2015/08/12 21:30:05x",
        "2015/08/12T21:30:05",
        "２０１５/08/12 21:30:05",  // full-width digits
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        const QString q = QString::fromUtf8(text);
        try {
            readShotDateTime(q);
            ADD_FAILURE() << "accepted";
        } catch (const DateTimeError& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()), QStringLiteral("'") + q + QStringLiteral("' は日付または時刻ではありません"));
            EXPECT_EQ(e.text(), q);
        }
    }
}

TEST(ChartJulianDay, GeneralNumberTextKeepsFifteenDigitsAndTheSeparator) {
    struct Case {
        double value;
        const char* separator;
        const char* text;
    } cases[] = {
        {2457247.020891203703, ",", "2457247,0208912"},
        {2451544.5, ",", "2451544,5"},
        {2451545.0, ".", "2451545"},
        {0.1 + 0.2, ".", "0.3"},
        {-12.25, ".", "-12.25"},
        {123456789.123456789, ".", "123456789.123457"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(generalNumberText(c.value, QString::fromUtf8(c.separator)).toStdString(), c.text);
    }
}

TEST(ChartJulianDay, DisplayTextFollowsTheLocaleWithoutAZoneAndDropsMidnight) {
    const ShotDateTime evening = readShotDateTime("2015/08/12 21:30:05");
    const ShotDateTime midnight = readShotDateTime("2000/01/01 00:00:00");
    const ShotDateTime morning = readShotDateTime("2000/01/01 00:00:01");
    struct Case {
        QLocale locale;
        const ShotDateTime* t;
        QString text;
    } cases[] = {
        // The worked example: the Japanese locale shows the shooting time as it came.
        {QLocale(QLocale::Japanese, QLocale::Japan), &evening, QStringLiteral("2015/08/12 21:30:05")},
        {QLocale(QLocale::Japanese, QLocale::Japan), &midnight, QStringLiteral("2000/01/01")},
        {QLocale(QLocale::Japanese, QLocale::Japan), &morning, QStringLiteral("2000/01/01 0:00:01")},
        {QLocale(QLocale::German, QLocale::Germany), &evening, QStringLiteral("12.08.15 21:30:05")},
        {QLocale(QLocale::English, QLocale::UnitedStates), &evening, QStringLiteral("8/12/15 9:30:05 PM")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(localDateTimeText(*c.t, c.locale), c.text);
    }
}
