// The settings file: line splitting, reading (defaults, keys, encodings, malformed values) and
// writing (exact bytes, atomic replacement, round trip of every control).
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace nocturo;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList chartList(const SettingsRead& r) {
    QStringList out;
    for (int i = 0; i < r.ChartProgramCount; ++i) out << r.ChartPrograms[i];
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// SplitLine

struct SplitCase {
    const char* name;
    QString line;
    QStringList expected;  // fields 1.. ; the rest must be empty
};

TEST(SplitLine, FieldsTrimmedAndEmptyFieldsReadZero) {
    const SplitCase cases[] = {
        {"plain", "SH,10", {"SH", "10"}},
        {"blanks around comma", "  sh , 25 ", {"sh", "25"}},
        {"tabs and control characters", "\tBIG\x01,\x02 1\t\r", {"BIG", "1"}},
        {"empty value", "USE,", {"USE", "0"}},
        {"empty key", ",5", {"0", "5"}},
        {"blank key is empty, not zero", " ,5", {"", "5"}},
        {"two commas", "a,,b", {"a", "0", "b"}},
        {"comma inside a value", "SOFT,/opt/a,b/prog", {"SOFT", "/opt/a", "b/prog"}},
        {"no comma", "  PIC  ", {"PIC"}},
        {"empty line", "", {"0"}},
        {"ideographic space is not a blank", QStringLiteral("PIC,\u3000星.jpg\u3000"),
         {"PIC", QStringLiteral("\u3000星.jpg\u3000")}},
        {"inner blanks kept", "PIC, /a b/c d.jpg ", {"PIC", "/a b/c d.jpg"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const LineFields f = SplitLine(c.line, QStringLiteral(","));
        for (int i = 1; i <= kMaxLineFields; ++i) {
            const QString want = i <= c.expected.size() ? c.expected[i - 1] : QString();
            EXPECT_EQ(f[i], want) << "field " << i;
        }
    }
}

TEST(SplitLine, RestAfterSeparatorIsCutTo5000Characters) {
    const QString longValue = QString(6000, u'x');
    const LineFields f = SplitLine(QStringLiteral("PIC,") + longValue, QStringLiteral(","));
    EXPECT_EQ(f[1], QStringLiteral("PIC"));
    EXPECT_EQ(f[2].size(), 5000);
    // A separator beyond the cut is never seen.
    const QString beyond = QStringLiteral("K,") + QString(5000, u'y') + QStringLiteral(",z");
    const LineFields g = SplitLine(beyond, QStringLiteral(","));
    EXPECT_EQ(g[2].size(), 5000);
    EXPECT_TRUE(g[3].isEmpty());
}

TEST(SplitLine, AtMostTwentyFieldsTheExcessIgnored) {
    QStringList parts;
    for (int i = 1; i <= 30; ++i) parts << QString::number(i);
    const LineFields f = SplitLine(parts.join(u','), QStringLiteral(","));
    for (int i = 1; i <= kMaxLineFields; ++i) EXPECT_EQ(f[i], QString::number(i));

    parts = parts.mid(0, 20);  // exactly twenty: the last one is a field of its own
    const LineFields g = SplitLine(parts.join(u','), QStringLiteral(","));
    EXPECT_EQ(g[20], QStringLiteral("20"));
}

// ---------------------------------------------------------------------------------------------
// Reading

TEST(ReadSettings, MissingFileGivesDefaults) {
    QTemporaryDir dir;
    const SettingsRead r = ReadSettings(dir.filePath("ctrl.txt"));
    EXPECT_EQ(r.SettingThreshold, 10);
    EXPECT_EQ(r.SettingBrightness, 30);
    EXPECT_EQ(r.SettingSaturation, 0);
    EXPECT_EQ(r.SettingQuality, 50);
    EXPECT_EQ(r.SettingLongSide, 1280);
    EXPECT_EQ(r.SettingBackColor, 0);
    EXPECT_EQ(r.SettingEnlarge, 1);
    EXPECT_EQ(r.SettingShotData, 1);
    EXPECT_EQ(r.SettingResize, 0);
    EXPECT_EQ(r.SettingDateFormat, 0);
    EXPECT_TRUE(r.SettingPicture.isEmpty());
    EXPECT_EQ(r.ChartProgramCount, 0);
    EXPECT_TRUE(r.ChartProgram.isEmpty());
    EXPECT_TRUE(r.Problems.isEmpty());
}

TEST(ReadSettings, EveryKeyIsReadInAnyCaseWithLfOrCrLf) {
    const QByteArray body =
        "sh , 25\nLt,12\ns,-40\nQ,90\npSiZe,960\nBKCOL,-16777216\nbig,0\nData,0\ncomp,1\ndt,1\n"
        "pic,/home/u/a.jpg\n";
    for (const QByteArray& bytes : {body, QByteArray(body).replace("\n", "\r\n")}) {
        const SettingsRead r = ParseSettings(bytes);
        EXPECT_EQ(r.SettingThreshold, 25);
        EXPECT_EQ(r.SettingBrightness, 12);
        EXPECT_EQ(r.SettingSaturation, -40);
        EXPECT_EQ(r.SettingQuality, 90);
        EXPECT_EQ(r.SettingLongSide, 960);
        EXPECT_EQ(r.SettingBackColor, -16777216);
        EXPECT_EQ(r.SettingEnlarge, 0);
        EXPECT_EQ(r.SettingShotData, 0);
        EXPECT_EQ(r.SettingResize, 1);
        EXPECT_EQ(r.SettingDateFormat, 1);
        EXPECT_EQ(r.SettingPicture, QStringLiteral("/home/u/a.jpg"));
        EXPECT_TRUE(r.Problems.isEmpty());
    }
}

struct ChartCase {
    const char* name;
    QByteArray file;
    QStringList programs;
    QString inUse;
};

TEST(ReadSettings, StarChartListAndProgramInUse) {
    const ChartCase cases[] = {
        {"comma in a SOFT path keeps the part before it", "SOFT,/opt/a,b/chart\nUSE,/x\n",
         {"/opt/a"}, "/opt/a"},
        {"one SOFT wins over another USE", "SOFT,/opt/one\nUSE,/opt/other\n", {"/opt/one"}, "/opt/one"},
        {"USE before the only SOFT is overridden too", "USE,/opt/other\nSOFT,/opt/one\n", {"/opt/one"},
         "/opt/one"},
        {"two SOFT and no USE", "SOFT,/a\nSOFT,/b\n", {"/a", "/b"}, ""},
        {"two SOFT and a USE", "SOFT,/a\nSOFT,/b\nUSE,/b\n", {"/a", "/b"}, "/b"},
        {"USE with an empty value reads 0", "SOFT,/a\nSOFT,/b\nUSE,\n", {"/a", "/b"}, "0"},
        {"USE without SOFT is kept", "USE,/c\n", {}, "/c"},
        {"repeated USE: the last line counts", "SOFT,/a\nSOFT,/b\nUSE,/a\nUSE,/b\n", {"/a", "/b"}, "/b"},
    };
    for (const ChartCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SettingsRead r = ParseSettings(c.file);
        EXPECT_EQ(chartList(r), c.programs);
        EXPECT_EQ(r.ChartProgram, c.inUse);
    }
}

TEST(ReadSettings, MoreThanHundredSoftLinesKeepsTheFirstHundred) {
    QByteArray bytes;
    for (int i = 0; i < 150; ++i) bytes += "SOFT,/p" + QByteArray::number(i) + "\r\n";
    bytes += "SH,7\r\n";
    const SettingsRead r = ParseSettings(bytes);
    ASSERT_EQ(r.ChartProgramCount, 100);
    EXPECT_EQ(r.ChartPrograms[0], QStringLiteral("/p0"));
    EXPECT_EQ(r.ChartPrograms[99], QStringLiteral("/p99"));
    EXPECT_TRUE(r.ChartProgram.isEmpty());
    EXPECT_EQ(r.SettingThreshold, 7);  // reading went on past the excess
}

TEST(ReadSettings, MalformedNumberKeepsItsValueAndReadingGoesOn) {
    const SettingsRead r = ParseSettings("SH,abc\r\nLT,12\r\nQ,60\r\nQ,7x\r\nBIG,\r\nPSIZE,99999999999\r\nS,-5\r\n");
    EXPECT_EQ(r.SettingThreshold, 10);   // default kept
    EXPECT_EQ(r.SettingBrightness, 12);  // later lines still read
    EXPECT_EQ(r.SettingQuality, 60);     // an earlier good line is not undone by a bad one
    EXPECT_EQ(r.SettingEnlarge, 0);      // "BIG," reads the value 0
    EXPECT_EQ(r.SettingLongSide, 1280);  // outside the 32-bit range
    EXPECT_EQ(r.SettingSaturation, -5);
    ASSERT_EQ(r.Problems.size(), 3);
    EXPECT_EQ(r.Problems[0], QStringLiteral("SH: 'abc' は整数ではありません"));
    EXPECT_EQ(r.Problems[1], QStringLiteral("Q: '7x' は整数ではありません"));
    EXPECT_EQ(r.Problems[2], QStringLiteral("PSIZE: '99999999999' は整数ではありません"));
}

TEST(ReadSettings, UnknownKeysBlankLinesAndExtraFieldsIgnored) {
    const SettingsRead r = ParseSettings("\n\nFOO,1\nSHX,3\nSH,20,30,40\n   \nLT\n");
    EXPECT_EQ(r.SettingThreshold, 20);
    EXPECT_EQ(r.SettingBrightness, 30);  // "LT" without a comma has an empty value
    ASSERT_EQ(r.Problems.size(), 1);
    EXPECT_EQ(r.Problems[0], QStringLiteral("LT: '' は整数ではありません"));
}

TEST(ReadSettings, Utf8WithOrWithoutByteOrderMark) {
    const QByteArray body = QStringLiteral("SH,11\r\nPIC,/home/ユーザー/星空.jpg\r\n").toUtf8();
    for (const QByteArray& bytes : {body, QByteArray("\xEF\xBB\xBF") + body}) {
        const SettingsRead r = ParseSettings(bytes);
        EXPECT_EQ(r.SettingThreshold, 11);
        EXPECT_EQ(r.SettingPicture, QStringLiteral("/home/ユーザー/星空.jpg"));
    }
}

TEST(ReadSettings, Cp932FileFromWindows) {
    // Written by iconv from UTF-8; 表 (95 5C) and ソ (83 5C) carry a backslash byte as their second byte.
    const SettingsRead r = ReadSettings(QStringLiteral(NOCTURO_FIXTURES "/settings/ctrl_cp932.txt"));
    ASSERT_EQ(r.ChartProgramCount, 1);
    EXPECT_EQ(r.ChartPrograms[0], QStringLiteral("/opt/星図表示/starchart"));
    EXPECT_EQ(r.ChartProgram, QStringLiteral("/opt/星図表示/starchart"));
    EXPECT_EQ(r.SettingThreshold, 15);
    EXPECT_EQ(r.SettingPicture, QStringLiteral("/home/user/写真/天の川 ソ.jpg"));
    EXPECT_TRUE(r.Problems.isEmpty());
}

TEST(ReadSettings, FolderInPlaceOfTheFileGivesDefaults) {
    QTemporaryDir dir;
    // A folder where the file should be is treated as no file.
    ASSERT_TRUE(QDir(dir.path()).mkdir("ctrl.txt"));
    const SettingsRead r = ReadSettings(dir.filePath("ctrl.txt"));
    EXPECT_EQ(r.SettingThreshold, 10);
    EXPECT_TRUE(r.Problems.isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

SettingsToWrite standardWithOneProgram() {
    SettingsToWrite v;
    v.ChartPrograms[0] = QStringLiteral("/usr/bin/stellarium");
    v.ChartProgramCount = 1;
    v.ChartProgram = QStringLiteral("/usr/bin/stellarium");
    v.ThresholdText = QStringLiteral("10");
    v.BrightnessText = QStringLiteral("30");
    v.SaturationText = QStringLiteral("0");
    v.QualityText = QStringLiteral("80");
    v.LongSideText = QStringLiteral("1280");
    v.BackColor = 0;
    v.Enlarge = true;
    v.ShotData = true;
    v.ResizeFirst = false;
    v.PicturePath = QStringLiteral("/home/u/星空.jpg");
    v.ClipDateFormat = 0;
    return v;
}

}  // namespace

TEST(WriteSettings, BytesInTheWritersOrderWithCrLf) {
    const QByteArray expected = QStringLiteral(
                                    "SOFT,/usr/bin/stellarium\r\nUSE,/usr/bin/stellarium\r\nSH,10\r\nLT,30\r\n"
                                    "S,0\r\nQ,80\r\nPSIZE,1280\r\nBKCOL,0\r\nBIG,1\r\nDATA,1\r\nCOMP,0\r\n"
                                    "PIC,/home/u/星空.jpg\r\nDT,0\r\n")
                                    .toUtf8();
    EXPECT_EQ(FormatSettings(standardWithOneProgram()), expected);
}

TEST(WriteSettings, OptionalLinesAndFlags) {
    SettingsToWrite v = standardWithOneProgram();
    v.ChartProgramCount = 0;
    v.PicturePath.clear();
    v.ThresholdText = QStringLiteral("abc");  // written as the user left it
    v.BackColor = 0x00FF8040;
    v.Enlarge = false;
    v.ShotData = false;
    v.ResizeFirst = true;
    v.ClipDateFormat = 1;
    EXPECT_EQ(FormatSettings(v), QByteArray("SH,abc\r\nLT,30\r\nS,0\r\nQ,80\r\nPSIZE,1280\r\nBKCOL,16744512\r\n"
                                            "BIG,0\r\nDATA,0\r\nCOMP,1\r\nDT,1\r\n"));
    v.ClipDateFormat = 2;  // only 1 means the Julian day
    EXPECT_TRUE(FormatSettings(v).endsWith("DT,0\r\n"));
    v.ChartProgramCount = 500;  // never read past the list
    EXPECT_EQ(FormatSettings(v).count("SOFT,"), 100);
}

TEST(WriteSettings, LineBreakInAValueCannotStartALineOfItsOwn) {
    SettingsToWrite v = standardWithOneProgram();
    v.PicturePath = QStringLiteral("/tmp/a\nSOFT,/tmp/evil\r\nSH,1.jpg");
    v.ChartPrograms[0] = QStringLiteral("/opt/chart\rUSE,/tmp/evil");
    const SettingsRead r = ParseSettings(FormatSettings(v));
    EXPECT_EQ(chartList(r), QStringList{QStringLiteral("/opt/chart")});
    EXPECT_EQ(r.ChartProgram, QStringLiteral("/opt/chart"));
    EXPECT_EQ(r.SettingPicture, QStringLiteral("/tmp/a"));
    EXPECT_EQ(r.SettingThreshold, 10);
    v.PicturePath = QStringLiteral("\n/x");
    EXPECT_FALSE(FormatSettings(v).contains("PIC,"));
}

TEST(WriteSettings, WriteThenReadGivesBackEveryControl) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ctrl.txt");
    struct Case {
        const char* threshold;
        const char* brightness;
        const char* saturation;
        const char* quality;
        const char* longSide;
        int color;
        bool enlarge, shotData, resize;
        int clip;
    };
    const Case cases[] = {
        {"33", "0", "-100", "20", "320", 0x0000FF, false, true, true, 1},
        {"1", "100", "100", "100", "1600", 0xFFFFFF, true, false, false, 0},
        {"-7", "45", "0", "50", "4000", 0x123456, false, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.threshold);
        SettingsToWrite v;
        v.ChartPrograms[0] = QStringLiteral("/opt/星図/a");
        v.ChartPrograms[1] = QStringLiteral("/opt/b c/b");
        v.ChartProgramCount = 2;
        v.ChartProgram = QStringLiteral("/opt/b c/b");
        v.ThresholdText = c.threshold;
        v.BrightnessText = c.brightness;
        v.SaturationText = c.saturation;
        v.QualityText = c.quality;
        v.LongSideText = c.longSide;
        v.BackColor = c.color;
        v.Enlarge = c.enlarge;
        v.ShotData = c.shotData;
        v.ResizeFirst = c.resize;
        v.PicturePath = QStringLiteral("/home/ユーザー/天の川.jpg");
        v.ClipDateFormat = c.clip;
        QString error;
        ASSERT_TRUE(WriteSettingsFile(path, v, &error)) << error.toStdString();

        const SettingsRead r = ReadSettings(path);
        EXPECT_EQ(QString::number(r.SettingThreshold), v.ThresholdText);
        EXPECT_EQ(QString::number(r.SettingBrightness), v.BrightnessText);
        EXPECT_EQ(QString::number(r.SettingSaturation), v.SaturationText);
        EXPECT_EQ(QString::number(r.SettingQuality), v.QualityText);
        EXPECT_EQ(QString::number(r.SettingLongSide), v.LongSideText);
        EXPECT_EQ(r.SettingBackColor, c.color);
        EXPECT_EQ(r.SettingEnlarge > 0, c.enlarge);
        EXPECT_EQ(r.SettingShotData > 0, c.shotData);
        EXPECT_EQ(r.SettingResize > 0, c.resize);
        EXPECT_EQ(r.SettingDateFormat, c.clip);
        EXPECT_EQ(r.SettingPicture, v.PicturePath);
        EXPECT_EQ(chartList(r), (QStringList{v.ChartPrograms[0], v.ChartPrograms[1]}));
        EXPECT_EQ(r.ChartProgram, v.ChartProgram);
        EXPECT_TRUE(r.Problems.isEmpty());
    }
}

TEST(WriteSettings, MissingFolderFailsWithPathInTheMessage) {
    QTemporaryDir dir;
    const QString path = dir.filePath("no-such-folder/ctrl.txt");
    QString error;
    EXPECT_FALSE(WriteSettingsFile(path, standardWithOneProgram(), &error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_TRUE(error.startsWith(QStringLiteral("設定ファイルを保存できません: "))) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

TEST(WriteSettings, FailedWriteLeavesTheOldFileIntact) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ctrl.txt");
    const QByteArray old = "SH,42\r\n";
    writeAll(path, old);

    // A file-size limit makes the write fail even for root, after the target was opened.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    QString error;
    const bool ok = WriteSettingsFile(path, standardWithOneProgram(), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(ok);
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_EQ(readAll(path), old);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("ctrl.txt")});
}

TEST(WriteSettings, ReplacesAnExistingFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ctrl.txt");
    writeAll(path, QByteArray(10000, 'x'));
    ASSERT_TRUE(WriteSettingsFile(path, standardWithOneProgram()));
    EXPECT_EQ(readAll(path), FormatSettings(standardWithOneProgram()));
}

// ---------------------------------------------------------------------------------------------
// The star-chart programs' argument templates in the SOFT lines' third field

TEST(ChartTemplates, ThirdFieldOfSoftLinesReadWithItsCommas) {
    const QByteArray file = "SOFT,/usr/bin/a\r\n"
                            "soft , /usr/bin/b , --date={date} --at=\"{lat},{lon}\"  \r\n"
                            "SOFT,/usr/bin/c,\r\n"
                            "USE,/usr/bin/b\r\n";
    const SettingsRead r = ParseSettings(file);
    EXPECT_EQ(chartList(r), (QStringList{"/usr/bin/a", "/usr/bin/b", "/usr/bin/c"}));
    EXPECT_EQ(r.ChartTemplates[0], QString());
    EXPECT_EQ(r.ChartTemplates[1], QStringLiteral("--date={date} --at=\"{lat},{lon}\""));
    EXPECT_EQ(r.ChartTemplates[2], QString());
    EXPECT_EQ(r.ChartProgram, QStringLiteral("/usr/bin/b"));
}

TEST(ChartTemplates, WrittenOnlyWhenSetAndReadBackByBothFieldRules) {
    SettingsToWrite w;
    w.ChartProgramCount = 3;
    w.ChartPrograms[0] = "/opt/plain";
    w.ChartPrograms[1] = "/opt/with options";
    w.ChartTemplates[1] = "--sky-date={yyyymmdd} --latitude={lat},x";
    w.ChartPrograms[2] = "/opt/broken";
    w.ChartTemplates[2] = "one\r\ntwo";  // a break would start a line of its own
    w.ChartProgram = "/opt/plain";
    const QByteArray bytes = FormatSettings(w);
    EXPECT_TRUE(bytes.startsWith("SOFT,/opt/plain\r\nSOFT,/opt/with options,--sky-date={yyyymmdd} --latitude={lat},x\r\n"
                                 "SOFT,/opt/broken,one\r\nUSE,/opt/plain\r\n"))
        << bytes.toStdString();
    // Without templates the lines are the ones the writer always wrote.
    SettingsToWrite old = w;
    old.ChartTemplates = {};
    EXPECT_TRUE(FormatSettings(old).startsWith("SOFT,/opt/plain\r\nSOFT,/opt/with options\r\nSOFT,/opt/broken\r\n"));

    const SettingsRead r = ParseSettings(bytes);
    EXPECT_EQ(chartList(r), (QStringList{"/opt/plain", "/opt/with options", "/opt/broken"}));
    EXPECT_EQ(r.ChartTemplates[0], QString());
    EXPECT_EQ(r.ChartTemplates[1], w.ChartTemplates[1]);
    EXPECT_EQ(r.ChartTemplates[2], QStringLiteral("one"));
    // A reader that takes fields 1 and 2 only still finds each path.
    const QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(SplitLine(lines[i], ",")[2], w.ChartPrograms[i]) << i;
}
