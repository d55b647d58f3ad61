// The code-page conversions: what an encoder writes for text it cannot represent, and the
// half-width katakana that ISO-2022-JP writes in their full-width forms.

#include "common/text_codec.h"

#include <gtest/gtest.h>

using namespace nocturo;

TEST(TextCodec, Iso2022JpRoundTripsWithReplacementsAndFullWidthKana) {
    struct Case {
        const char* text;
        const char* back;
    };
    const Case cases[] = {
        {"星空", "星空"},
        {"星ｱ空", "星ア空"},                 // half-width between kanji
        {"ｶﾞｲﾄﾞ", "ガイド"},                 // sound marks joined to their kana
        {"ﾞ", "゛"},                         // a sound mark alone
        {"｢ｵﾘｵﾝ｣､｡", "「オリオン」、。"},
        {"星😀空", "星?空"},                 // unencodable inside the two-byte mode
        {"a😀b", "a?b"},                     // and in ASCII mode: one '?' per character
        {"Orion M42", "Orion M42"},
    };
    for (const Case& c : cases) {
        const QByteArray bytes = encodeIso2022Jp(QString::fromUtf8(c.text));
        const QString back = decodeIso2022Jp(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        EXPECT_EQ(back.toStdString(), std::string(c.back)) << c.text;
        EXPECT_FALSE(back.contains(QChar(0xFFFD))) << c.text;
        EXPECT_FALSE(bytes.endsWith("\x1B$B")) << "ends in ASCII mode: " << c.text;
    }
}

TEST(TextCodec, Cp932ReplacesAWholeCharacterByOneQuestionMark) {
    EXPECT_EQ(encodeCp932(QString::fromUtf8("a😀b")), QByteArray("a?b"));
}
