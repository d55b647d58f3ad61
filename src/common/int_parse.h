// Text-to-integer conversion with the program's one conversion error.
#pragma once

#include <QString>

#include <optional>
#include <stdexcept>
#include <string>

namespace nocturo {

// Thrown when a text that must be an integer is not one. what() is UTF-8 and reads
// "'abc' は整数ではありません"; the error boundary of the program shows it in a message box.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& text);
    const QString& text() const { return text_; }
    QString message() const;

private:
    QString text_;
};

// Optional blanks, an optional sign, decimal digits, optional blanks; 32-bit range.
std::optional<int> tryParseInt(const QString& text);
// The same, throwing ConversionError for anything else.
int parseIntOrThrow(const QString& text);

}  // namespace nocturo
