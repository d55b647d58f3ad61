// Where an exception that ends an event handler is turned into a message box, so that the event
// loop goes on: the one place the program's handlers report their failures.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>

class QWidget;

namespace nocturo {

// The readable text of the exception in flight (call from a catch block).
QString currentExceptionText();

// Shows the text in a modal message box over parent.
void showErrorMessage(QWidget* parent, const QString& text);

// Runs one handler; an exception that leaves it is shown and swallowed. Returns false when the
// handler ended with an exception.
bool runHandler(QWidget* parent, const std::function<void()>& handler);

// The application object: its notify catches what a handler let escape despite runHandler.
class NocturoApplication : public QApplication {
public:
    NocturoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace nocturo
