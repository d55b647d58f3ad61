#include "app/error_boundary.h"

#include "common/int_parse.h"

#include <QMessageBox>

#include <exception>
#include <new>

namespace nocturo {

QString currentExceptionText() {
    try {
        throw;
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

void showErrorMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Nocturo"), text, QMessageBox::Ok, parent);
    box.exec();
}

bool runHandler(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (...) {
        showErrorMessage(parent, currentExceptionText());
        return false;
    }
}

NocturoApplication::NocturoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool NocturoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showErrorMessage(nullptr, currentExceptionText());
        return false;
    }
}

}  // namespace nocturo
