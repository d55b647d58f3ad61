#include "app/error_boundary.h"

#include "common/error_text.h"

#include <QMessageBox>

#include <exception>
#include <stdexcept>

namespace nocturo {

QString currentExceptionText() {
    const std::exception_ptr error = std::current_exception();
    try {
        std::rethrow_exception(error);
    } catch (const std::logic_error& e) {
        // A broken precondition inside the program: its wording is for the developer's log, the
        // user gets a message in the interface's language.
        qWarning("Nocturo: internal error: %s", e.what());
        return QStringLiteral("プログラム内部のエラーのため、処理を中止しました。");
    } catch (...) {
        return exceptionText(error);
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
