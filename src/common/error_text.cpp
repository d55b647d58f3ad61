#include "common/error_text.h"

#include "common/int_parse.h"

#include <new>

namespace nocturo {

QString exceptionText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const ConversionError& e) {
        return e.message();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("メモリが足りません (out of memory)");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("不明なエラーです (unknown error)");
    }
}

}  // namespace nocturo
