// The star-chart argument template: shell-like word splitting and the placeholders.
#include "chart/julian_day.h"
#include "chart/launch_template.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <ostream>

using namespace nocturo;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[';
    for (const QString& s : l) *os << '"' << s.toStdString() << "\" ";
    *os << ']';
}

TEST(ChartTemplate, WordsSplitLikeAShell) {
    struct Case {
        const char* text;
        QStringList words;
    } cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"-a  b\tc", {"-a", "b", "c"}},
        {"'two words' \"and three words\"", {"two words", "and three words"}},
        {"pre'quoted part'post", {"prequoted partpost"}},
        {"''", {""}},                                  // an empty quoted word is a word
        {"\"a \\\"q\\\" \\\\ \\n\"", {"a \"q\" \\ \\n"}},  // only \" \\ \$ \` escape inside "..."
        {"'it''s' 'no \\escape'", {"its", "no \\escape"}},
        {"a\\ b c\\'d", {"a b", "c'd"}},
        {"end\\", {"end\\"}},
        {"--lat={lat} \"{file}\"", {"--lat={lat}", "{file}"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QString error = "stale";
        const std::optional<QStringList> words = splitWords(QString::fromUtf8(c.text), &error);
        ASSERT_TRUE(words.has_value());
        EXPECT_EQ(*words, c.words);
        EXPECT_TRUE(error.isEmpty());
    }
    for (const char* bad : {"'open", "a \"open", "\"a\\\"", "ok 'x' '"}) {
        SCOPED_TRACE(bad);
        QString error;
        EXPECT_FALSE(splitWords(QString::fromUtf8(bad), &error).has_value());
        EXPECT_TRUE(error.contains(QStringLiteral("閉じていません"))) << error.toStdString();
    }
}

TEST(ChartTemplate, PlaceholdersAreReplacedInsideWords) {
    // 2015/08/12 21:30:05 taken as Japanese time, the worked example of the Julian day.
    const ShotDateTime shot = readShotDateTime(QStringLiteral("2015/08/12 21:30:05"));
    TemplateValues all;
    all.date = shot.date;
    all.time = shot.time;
    all.julianDay = julianDay(shot.days);
    all.latitude = -33.8586667;
    all.longitude = 151.2;
    all.file = QStringLiteral("/photos/night sky {date}.jpg");
    TemplateValues none;

    struct Case {
        const char* name;
        const char* text;
        const TemplateValues* values;
        QStringList arguments, omitted;
    } cases[] = {
        {"every placeholder", "{date} {time} {yyyymmdd} {jd} {lat} {lon}", &all,
         {"2015-08-12", "21:30:05", "20150812", "2457247.020891", "-33.858667", "151.200000"}, {}},
        {"inside options and quotes", "--sky-date={yyyymmdd} '--at {time}' \"{file}\"", &all,
         {"--sky-date=20150812", "--at 21:30:05", "/photos/night sky {date}.jpg"}, {}},
        {"a value is not expanded again", "{file}", &all, {"/photos/night sky {date}.jpg"}, {}},
        {"two in one word", "{date}T{time}", &all, {"2015-08-12T21:30:05"}, {}},
        {"unknown names and lone braces stay", "{x} {date {} {{date}} }", &all,
         {"{x}", "{date", "{}", "{2015-08-12}", "}"}, {}},
        {"no position: those arguments go", "--date={date} --lat={lat} --lon={lon} -v", &none,
         {"-v"}, {"{date}", "{lat}", "{lon}"}},
        {"no picture file", "--open {file} x", &none, {"--open", "x"}, {"{file}"}},
        {"only the missing word goes", "--lat {lat} --jd {jd}", &none, {"--lat", "--jd"}, {"{lat}", "{jd}"}},
        {"empty template", "", &all, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LaunchArguments a = expandTemplate(QString::fromUtf8(c.text), *c.values);
        ASSERT_TRUE(a.ok) << a.error.toStdString();
        EXPECT_EQ(a.arguments, c.arguments);
        EXPECT_EQ(a.omitted, c.omitted);
    }
    const LaunchArguments bad = expandTemplate(QStringLiteral("--at '{time}"), all);
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.arguments.isEmpty());
}

TEST(ChartTemplate, SignsOfSmallCoordinatesAndTheNotice) {
    TemplateValues v;
    v.latitude = -0.0000001;  // rounds to zero: no "-0.000000"
    v.longitude = -0.5;
    const LaunchArguments a = expandTemplate(QStringLiteral("{lat},{lon}"), v);
    EXPECT_EQ(a.arguments, QStringList{"0.000000,-0.500000"});

    EXPECT_TRUE(omittedArgumentsMessage({}).isEmpty());
    const QString gps = omittedArgumentsMessage({"{lat}", "{lon}"});
    EXPECT_TRUE(gps.contains(QStringLiteral("GPS"))) << gps.toStdString();
    EXPECT_TRUE(gps.contains(QStringLiteral("{lat} {lon}"))) << gps.toStdString();
    EXPECT_FALSE(gps.contains(QStringLiteral("撮影日時")));
    EXPECT_TRUE(omittedArgumentsMessage({"{jd}"}).contains(QStringLiteral("撮影日時")));
}
