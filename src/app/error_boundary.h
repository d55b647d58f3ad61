// Where an exception that ends an event handler is turned into a message box, so that the event
// loop goes on: the one place the program's handlers report their failures.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>
#include <type_traits>

class QWidget;

namespace nocturo {

// The readable text of the exception in flight (call from a catch block).
QString currentExceptionText();

// Shows the text in a modal message box over parent.
void showErrorMessage(QWidget* parent, const QString& text);

// Runs one handler; an exception that leaves it is shown and swallowed. Returns false when the
// handler ended with an exception.
bool runHandler(QWidget* parent, const std::function<void()>& handler);

// Connects a signal of `sender` to `handler`, run inside the error boundary of `window` (which
// also owns the connection). The handler takes the signal's arguments, or none.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, QWidget* window, Handler handler) {
    return QObject::connect(sender, signal, window, [window, handler](auto... args) {
        runHandler(window, [&] {
            if constexpr (std::is_invocable_v<Handler, decltype(args)...>)
                handler(args...);
            else
                handler();
        });
    });
}

// Runs `handler` inside the error boundary of `window` whenever the radio button becomes checked,
// by the user or by the program: its click handler.
template <typename RadioButton, typename Handler>
QMetaObject::Connection connectChecked(RadioButton* radio, QWidget* window, Handler handler) {
    return connectGuarded(radio, &RadioButton::toggled, window, [handler](bool on) {
        if (on) handler();
    });
}

// The application object: its notify catches what a handler let escape despite runHandler.
class NocturoApplication : public QApplication {
public:
    NocturoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace nocturo
