#include "settings/settings_file.h"

#include "common/int_parse.h"
#include "common/text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <string_view>

namespace nocturo {

namespace {

// Blanks and control characters are everything up to U+0020; other Unicode spaces (U+3000 in a
// Japanese path) are part of the value.
QString trimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20) ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20) --end;
    return text.mid(begin, end - begin).toString();
}

// Only a to z: the key comparison must not depend on the locale's case rules.
QString upperAsciiLetters(QString text) {
    for (QChar& c : text) {
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return text;
}

QString readProblem(const QString& path, const QString& reason) {
    return QStringLiteral("設定ファイルを読み込めません: %1 (%2)").arg(QDir::toNativeSeparators(path), reason);
}

QString writeProblem(const QString& path, const QString& reason) {
    return QStringLiteral("設定ファイルを保存できません: %1 (%2)").arg(QDir::toNativeSeparators(path), reason);
}

// A line break inside a value would end its line early and let the rest be read as a line of its
// own, so a value is stored only up to its first break.
QString singleLine(const QString& value) {
    const qsizetype cr = value.indexOf(u'\r');
    const qsizetype lf = value.indexOf(u'\n');
    qsizetype cut = -1;
    if (cr >= 0) cut = cr;
    if (lf >= 0 && (cut < 0 || lf < cut)) cut = lf;
    return cut < 0 ? value : value.left(cut);
}

// The text after the second comma of a line, for the SOFT line's template: a template may hold
// commas of its own, so it is not cut at them as the split fields are.
QString thirdFieldOnwards(QStringView line) {
    const qsizetype first = line.indexOf(u',');
    const qsizetype second = first < 0 ? -1 : line.indexOf(u',', first + 1);
    if (second < 0) return {};
    return trimBlanks(line.mid(second + 1, kMaxFieldRest));
}

struct IntegerKey {
    const char16_t* key;
    int SettingsRead::*target;
};

constexpr IntegerKey kIntegerKeys[] = {
    {u"SH", &SettingsRead::SettingThreshold},   {u"LT", &SettingsRead::SettingBrightness},
    {u"Q", &SettingsRead::SettingQuality},      {u"S", &SettingsRead::SettingSaturation},
    {u"PSIZE", &SettingsRead::SettingLongSide}, {u"BKCOL", &SettingsRead::SettingBackColor},
    {u"DATA", &SettingsRead::SettingShotData},  {u"BIG", &SettingsRead::SettingEnlarge},
    {u"COMP", &SettingsRead::SettingResize},    {u"DT", &SettingsRead::SettingDateFormat},
};

}  // namespace

LineFields SplitLine(const QString& line, const QString& separator) {
    LineFields fields;
    int i = 0;
    QString rest = line;
    if (!separator.isEmpty()) {
        qsizetype p;
        while ((p = rest.indexOf(separator)) >= 0) {
            ++i;
            fields[i] = p == 0 ? QStringLiteral("0") : trimBlanks(QStringView(rest).left(p));
            rest = trimBlanks(QStringView(rest).mid(p + separator.size(), kMaxFieldRest));
            if (i == kMaxLineFields) return fields;  // the fields beyond the 20th are ignored
        }
    }
    ++i;
    fields[i] = rest.isEmpty() ? QStringLiteral("0") : trimBlanks(rest);
    return fields;
}

SettingsRead ParseSettings(const QByteArray& bytes) {
    SettingsRead r;
    std::string_view data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    // A byte-order mark from an editor would otherwise become part of the first key.
    if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
    const QString text = decodeAnsi(data);
    const QString comma = QStringLiteral(",");

    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r')) line.chop(1);
        const LineFields fields = SplitLine(line.toString(), comma);
        const QString key = upperAsciiLetters(fields[1]);
        const QString& value = fields[2];

        if (key == u"SOFT") {
            if (r.ChartProgramCount < kMaxChartPrograms) {
                r.ChartTemplates[r.ChartProgramCount] = thirdFieldOnwards(line);
                r.ChartPrograms[r.ChartProgramCount++] = value;
            }
        }
        if (key == u"USE") r.ChartProgram = value;
        if (key == u"PIC") r.SettingPicture = value;
        for (const IntegerKey& k : kIntegerKeys) {
            if (key != k.key) continue;
            try {
                r.*k.target = parseIntOrThrow(value);
            } catch (const ConversionError& e) {
                // The key keeps the value it had; the rest of the file still counts.
                r.Problems << QStringLiteral("%1: %2").arg(key, e.message());
            }
        }
    }

    if (r.ChartProgramCount == 1) r.ChartProgram = r.ChartPrograms[0];
    return r;
}

SettingsRead ReadSettings(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) return SettingsRead();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SettingsRead r;
        r.Problems << readProblem(path, file.errorString());
        return r;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        SettingsRead r;
        r.Problems << readProblem(path, file.errorString());
        return r;
    }
    return ParseSettings(bytes);
}

QByteArray FormatSettings(const SettingsToWrite& v) {
    QString out;
    auto line = [&out](const char* key, const QString& value) {
        out += QLatin1String(key);
        out += u',';
        out += singleLine(value);
        out += QLatin1String("\r\n");
    };
    auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };

    const int count = std::clamp(v.ChartProgramCount, 0, kMaxChartPrograms);
    for (int i = 0; i < count; ++i) {
        const QString options = singleLine(v.ChartTemplates[i]).trimmed();
        line("SOFT", options.isEmpty() ? v.ChartPrograms[i] : singleLine(v.ChartPrograms[i]) + u',' + options);
    }
    if (count > 0) line("USE", v.ChartProgram);
    line("SH", v.ThresholdText);
    line("LT", v.BrightnessText);
    line("S", v.SaturationText);
    line("Q", v.QualityText);
    line("PSIZE", v.LongSideText);
    line("BKCOL", QString::number(v.BackColor));
    line("BIG", flag(v.Enlarge));
    line("DATA", flag(v.ShotData));
    line("COMP", flag(v.ResizeFirst));
    if (!singleLine(v.PicturePath).isEmpty()) line("PIC", v.PicturePath);
    line("DT", flag(v.ClipDateFormat == 1));
    return encodeAnsi(out);
}

bool WriteSettingsFile(const QString& path, const SettingsToWrite& values, QString* error) {
    const QByteArray bytes = FormatSettings(values);
    QSaveFile file(path);
    auto fail = [&](const QString& reason) {
        if (error) *error = writeProblem(path, reason);
        return false;
    };
    // Unbuffered, so that a short write shows in the result of write() instead of being lost in a
    // flush that commit() does not always report.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit()) return fail(file.errorString());
    return true;
}

}  // namespace nocturo
