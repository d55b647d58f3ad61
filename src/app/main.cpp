// Nocturo: takes no arguments; creates the three windows and runs the event loop.
#include "app/error_boundary.h"
#include "app/form1.h"

int main(int argc, char** argv) {
    nocturo::NocturoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);
    nocturo::NocturoProgram program;
    program.Form1->showMaximized();
    return app.exec();
}
