#include "common/text_codec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace nocturo {

namespace {

// Bytes of the UTF-8 sequence that starts with this byte (1 for a stray continuation byte).
std::size_t utf8SequenceLength(char lead) {
    const auto c = static_cast<unsigned char>(lead);
    if (c >= 0xF0) return 4;
    if (c >= 0xE0) return 3;
    if (c >= 0xC0) return 2;
    return 1;
}

// One iconv conversion of a whole buffer. Invalid input sequences are replaced (by U+FFFD when
// decoding, '?' when encoding) and skipped, so a hostile byte string can never stop a read.
// skipUnit is the number of input bytes skipped after a replacement; 0 skips one whole UTF-8
// character (for conversions from UTF-8).
std::string convert(const char* to, const char* from, std::string_view in, std::string_view replacement,
                    std::size_t skipUnit) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string out;
    out.reserve(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buf[4096];
    while (true) {
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        const std::size_t r = srcLeft ? iconv(cd, &src, &srcLeft, &dst, &dstLeft)
                                      : iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        if (r != static_cast<std::size_t>(-1)) {
            if (srcLeft == 0) {
                // Flush the shift state (ISO-2022-JP ends in ASCII mode).
                dst = buf;
                dstLeft = sizeof buf;
                iconv(cd, nullptr, nullptr, &dst, &dstLeft);
                out.append(buf, static_cast<std::size_t>(dst - buf));
                break;
            }
            continue;
        }
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: replace the offending unit and go on after it. A stateful encoding
        // (ISO-2022-JP) may be in its two-byte mode here: return to ASCII first, or the
        // replacement would be read as half of a kanji.
        dst = buf;
        dstLeft = sizeof buf;
        iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        out.append(replacement);
        const std::size_t skip = std::min(skipUnit ? skipUnit : utf8SequenceLength(*src), srcLeft);
        src += skip;
        srcLeft -= skip;
        if (srcLeft == 0) break;
    }
    iconv_close(cd);
    return out;
}

const std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    // Well-formed UTF-8 as RFC 3629 defines it: no overlong forms, no surrogates, <= U+10FFFF.
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) { ++i; continue; }
        int len;
        unsigned lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) len = 2;
        else if (c == 0xE0) { len = 3; lo = 0xA0; }
        else if (c == 0xED) { len = 3; hi = 0x9F; }
        else if (c >= 0xE1 && c <= 0xEF) len = 3;
        else if (c == 0xF0) { len = 4; lo = 0x90; }
        else if (c >= 0xF1 && c <= 0xF3) len = 4;
        else if (c == 0xF4) { len = 4; hi = 0x8F; }
        else return false;
        if (i + static_cast<std::size_t>(len) > n) return false;
        const auto c1 = static_cast<unsigned char>(bytes[i + 1]);
        if (c1 < lo || c1 > hi) return false;
        for (int k = 2; k < len; ++k) {
            const auto ck = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if (ck < 0x80 || ck > 0xBF) return false;
        }
        i += static_cast<std::size_t>(len);
    }
    return true;
}

QString decodeAnsi(std::string_view bytes) {
    if (isValidUtf8(bytes)) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return decodeCp932(bytes);
}

QByteArray encodeAnsi(const QString& text) { return text.toUtf8(); }

QString decodeCp932(std::string_view bytes) {
    const std::string u = convert("UTF-8", "CP932", bytes, kUtf8Replacement, 1);
    return QString::fromUtf8(u.data(), static_cast<qsizetype>(u.size()));
}

QByteArray encodeCp932(const QString& text) {
    const QByteArray u = text.toUtf8();
    // Skip one whole UTF-8 sequence for an unencodable character.
    const std::string out = convert("CP932", "UTF-8", std::string_view(u.constData(), u.size()), "?", 0);
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

QString decodeIso2022Jp(std::string_view bytes) {
    const std::string u = convert("UTF-8", "ISO-2022-JP", bytes, kUtf8Replacement, 1);
    return QString::fromUtf8(u.data(), static_cast<qsizetype>(u.size()));
}

// Half-width katakana have no place in ISO-2022-JP; Windows' code page 50220 writes them as
// their full-width forms, a following sound mark joined to its kana (ｶﾞ -> ガ).
static QString fullWidthKatakana(const QString& text) {
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const auto isHalfWidth = [&](qsizetype k) { return text[k].unicode() >= 0xFF61 && text[k].unicode() <= 0xFF9F; };
        if (!isHalfWidth(i)) {
            out.append(text[i++]);
            continue;
        }
        const qsizetype from = i;
        while (i < text.size() && isHalfWidth(i)) ++i;
        QString run = text.mid(from, i - from).normalized(QString::NormalizationForm_KC);
        // A sound mark left alone becomes the spacing mark, which the JIS set has.
        run.replace(QChar(0x3099), QChar(0x309B)).replace(QChar(0x309A), QChar(0x309C));
        out.append(run);
    }
    return out;
}

QByteArray encodeIso2022Jp(const QString& text) {
    const QByteArray u = fullWidthKatakana(text).toUtf8();
    const std::string out = convert("ISO-2022-JP", "UTF-8", std::string_view(u.constData(), u.size()), "?", 0);
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

QString decodeUtf16(std::string_view bytes, bool littleEndian) {
    QString s;
    s.reserve(static_cast<qsizetype>(bytes.size() / 2));
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[littleEndian ? i : i + 1]);
        const auto hi = static_cast<unsigned char>(bytes[littleEndian ? i + 1 : i]);
        s.append(QChar(static_cast<char16_t>(lo | (hi << 8))));
    }
    return s;
}

}  // namespace nocturo
