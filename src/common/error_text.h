// The readable text of an exception, for a message box or a one-line reason on stderr.
#pragma once

#include <QString>

#include <exception>

namespace nocturo {

// The conversion error's own message, a memory shortage, any std::exception's what() (UTF-8),
// or an unknown-error text.
QString exceptionText(std::exception_ptr error);

}  // namespace nocturo
