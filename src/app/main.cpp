// Nocturo: `nocturo [FILE]` creates the three windows, opens FILE (or the last picture) and runs
// the event loop; --help and --version print and end before anything needs a display.
#include "app/error_boundary.h"
#include "app/form1.h"
#include "app/startup_report.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

struct Options {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();

    Options() {
        parser.setApplicationDescription(QStringLiteral(
            "Star extraction and shooting data of night-sky photographs.\n"
            "FILE (a JPEG picture) is opened at start through the image-size dialog, as a dropped file is;\n"
            "without it the last picture comes back, or the built-in sample."));
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("the picture to open"),
                                     QStringLiteral("[FILE]"));
    }
};

void setIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("Nocturo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NOCTURO_VERSION));
}

int usageError(const QString& error) {
    std::fprintf(stderr, "nocturo: %s\nTry 'nocturo --help'.\n", qPrintable(error));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // First look, on a plain core application: help and version need no display. Options of the
    // toolkit (-platform, -style) are not known yet and not judged here.
    {
        int coreArgc = argc;
        QCoreApplication core(coreArgc, argv);
        setIdentity();
        Options options;
        const bool known = options.parser.parse(QCoreApplication::arguments());
        if (options.parser.isSet(options.help) || options.parser.isSet(QStringLiteral("help-all"))) {
            std::fputs(qPrintable(options.parser.helpText()), stdout);
            return 0;
        }
        if (options.parser.isSet(options.version)) {
            std::printf("nocturo %s\n", NOCTURO_VERSION);
            return 0;
        }
        // Without an unknown option no value of a toolkit option can be among the files.
        if (known && options.parser.positionalArguments().size() > 1) return usageError(QStringLiteral("only one FILE can be opened"));
    }

    nocturo::NocturoApplication app(argc, argv);
    setIdentity();
    // The window toolkit has taken its own options out of the arguments; what is left is ours.
    Options options;
    if (!options.parser.parse(QCoreApplication::arguments())) return usageError(options.parser.errorText());
    if (options.parser.positionalArguments().size() > 1) return usageError(QStringLiteral("only one FILE can be opened"));
    const QStringList files = options.parser.positionalArguments();

    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);
    nocturo::NocturoProgram program(QString(), files.isEmpty() ? QString() : files.first());
    nocturo::armStartupReport(program);
    program.Form1->showMaximized();
    return app.exec();
}
