#include "app/error_boundary.h"

#include "common/error_text.h"

#include <QMessageBox>

#include <exception>

namespace nocturo {

QString currentExceptionText() { return exceptionText(std::current_exception()); }

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
