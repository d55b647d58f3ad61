#include "common/int_parse.h"

#include <cstdint>

namespace nocturo {

namespace {
QString conversionMessage(const QString& text) {
    return QStringLiteral("'%1' は整数ではありません").arg(text);
}
}  // namespace

ConversionError::ConversionError(const QString& text)
    : std::runtime_error(conversionMessage(text).toStdString()), text_(text) {}

QString ConversionError::message() const { return conversionMessage(text_); }

std::optional<int> tryParseInt(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (i < n && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const qsizetype digitsStart = i;
    std::int64_t value = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > 2147483648LL) return std::nullopt;
        ++i;
    }
    if (i == digitsStart) return std::nullopt;
    while (i < n && isBlank(text[i])) ++i;
    if (i != n) return std::nullopt;
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int>(value);
}

int parseIntOrThrow(const QString& text) {
    if (auto v = tryParseInt(text)) return *v;
    throw ConversionError(text);
}

}  // namespace nocturo
