#include "chart/launch_template.h"

#include <array>
#include <utility>

namespace nocturo {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

QString sixDecimals(double v) {
    QString t = QString::number(v, 'f', 6);
    if (t.startsWith(u'-') && t.mid(1).toDouble() == 0.0) t.remove(0, 1);  // no "-0.000000"
    return t;
}

// The value of a placeholder name, or nothing when it is known but absent; known is false for a
// name that is no placeholder.
std::optional<QString> valueOf(QStringView name, const TemplateValues& v, bool& known) {
    known = true;
    if (name == u"date") {
        if (v.date) return v.date->toString(QStringLiteral("yyyy-MM-dd"));
    } else if (name == u"time") {
        if (v.time) return v.time->toString(QStringLiteral("HH:mm:ss"));
    } else if (name == u"yyyymmdd") {
        if (v.date) return v.date->toString(QStringLiteral("yyyyMMdd"));
    } else if (name == u"jd") {
        if (v.julianDay) return QString::number(*v.julianDay, 'f', 6);
    } else if (name == u"lat") {
        if (v.latitude) return sixDecimals(*v.latitude);
    } else if (name == u"lon") {
        if (v.longitude) return sixDecimals(*v.longitude);
    } else if (name == u"file") {
        if (!v.file.isEmpty()) return v.file;
    } else {
        known = false;
    }
    return std::nullopt;
}

}  // namespace

std::optional<QStringList> splitWords(const QString& text, QString* error) {
    QStringList words;
    QString word;
    bool inWord = false;
    auto unclosed = [&](QChar quote) {
        if (error) *error = QStringLiteral("起動オプションの引用符 %1 が閉じていません。").arg(quote);
        return std::nullopt;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isBlank(c)) {
            if (inWord) words << word;
            word.clear();
            inWord = false;
        } else if (c == u'\'') {
            inWord = true;
            const qsizetype end = text.indexOf(u'\'', i + 1);
            if (end < 0) return unclosed(c);
            word += text.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == u'"') {
            inWord = true;
            qsizetype j = i + 1;
            for (; j < text.size() && text[j] != u'"'; ++j) {
                if (text[j] == u'\\' && j + 1 < text.size() &&
                    (text[j + 1] == u'"' || text[j + 1] == u'\\' || text[j + 1] == u'$' || text[j + 1] == u'`'))
                    ++j;
                word += text[j];
            }
            if (j >= text.size()) return unclosed(c);
            i = j;
        } else if (c == u'\\' && i + 1 < text.size()) {
            inWord = true;
            word += text[++i];
        } else {
            inWord = true;
            word += c;
        }
    }
    if (inWord) words << word;
    if (error) error->clear();
    return words;
}

LaunchArguments expandTemplate(const QString& templateText, const TemplateValues& values) {
    LaunchArguments out;
    const std::optional<QStringList> words = splitWords(templateText, &out.error);
    if (!words) return out;
    out.ok = true;
    for (const QString& word : *words) {
        QString result;
        bool missing = false;
        qsizetype i = 0;
        while (i < word.size()) {
            const qsizetype open = word.indexOf(u'{', i);
            const qsizetype close = open < 0 ? -1 : word.indexOf(u'}', open + 1);
            if (open < 0 || close < 0) {
                result += QStringView(word).mid(i);
                break;
            }
            result += QStringView(word).mid(i, open - i);
            const QStringView name = QStringView(word).mid(open + 1, close - open - 1);
            bool known = false;
            const std::optional<QString> value = valueOf(name, values, known);
            if (value) {
                result += *value;
                i = close + 1;
            } else if (known) {
                missing = true;
                const QString placeholder = u'{' + name.toString() + u'}';
                if (!out.omitted.contains(placeholder)) out.omitted << placeholder;
                i = close + 1;
            } else {
                // Not a placeholder: the brace is text, and a later one may still open a name.
                result += u'{';
                i = open + 1;
            }
        }
        if (!missing) out.arguments << result;
    }
    return out;
}

QString omittedArgumentsMessage(const QStringList& omitted) {
    if (omitted.isEmpty()) return {};
    QStringList reasons;
    auto has = [&](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (omitted.contains(QLatin1String(n))) return true;
        return false;
    };
    if (has({"{lat}", "{lon}"})) reasons << QStringLiteral("この写真には GPS の位置情報がありません。");
    if (has({"{date}", "{time}", "{yyyymmdd}", "{jd}"})) reasons << QStringLiteral("この写真には撮影日時がありません。");
    if (has({"{file}"})) reasons << QStringLiteral("写真のファイル名がありません。");
    return reasons.join(u'\n') + u'\n' +
           QStringLiteral("起動オプションのうち %1 を使う引数を省いて起動しました。").arg(omitted.join(u' '));
}

}  // namespace nocturo
