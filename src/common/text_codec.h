// Conversions between the code pages that files from Windows systems carry and Unicode.
#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

namespace nocturo {

// The "ANSI" code page of the Windows systems the files come from: bytes that are valid UTF-8
// read as UTF-8, anything else as CP932 (Shift-JIS with the Windows extensions).
QString decodeAnsi(std::string_view bytes);
// Text to bytes for files we write: UTF-8.
QByteArray encodeAnsi(const QString& text);

// Strict decoders and encoders through glibc iconv. Undecodable bytes become U+FFFD.
QString decodeCp932(std::string_view bytes);
QByteArray encodeCp932(const QString& text);  // unencodable characters become '?'
QString decodeIso2022Jp(std::string_view bytes);
QByteArray encodeIso2022Jp(const QString& text);
QString decodeUtf16(std::string_view bytes, bool littleEndian);

bool isValidUtf8(std::string_view bytes);

}  // namespace nocturo
