// nocturo-cli: the engine of Nocturo without a window.
#include "commands.h"

#include <QGuiApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void printUsage(FILE* out) {
    std::fputs("usage: nocturo-cli <command> [options] ...\n"
               "commands:\n"
               "  extract   star extraction of JPEG pictures (nocturo-cli extract --help)\n"
               "  exif      the EXIF data a picture carries (nocturo-cli exif --help)\n",
               out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        printUsage(stdout);
        return 0;
    }
    // Text is drawn into pictures (the shooting-data strip), which needs fonts and so a GUI
    // application; without a display the offscreen platform serves.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a session (a batch job, a container) Qt would take a runtime folder of its own and
    // say so on every run; the same folder, made quietly.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = "/tmp/runtime-" + QByteArray::number(static_cast<qulonglong>(getuid()));
        if (mkdir(dir.constData(), 0700) == 0 || errno == EEXIST) qputenv("XDG_RUNTIME_DIR", dir);
    }
    int appArgc = 1;
    QGuiApplication app(appArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nocturo-cli"));
    if (std::strcmp(command, "extract") == 0) return runExtract(argc - 1, argv + 1);
    if (std::strcmp(command, "exif") == 0) return runExif(argc - 1, argv + 1);
    std::fprintf(stderr, "nocturo-cli: unknown command '%s'\n", command);
    printUsage(stderr);
    return 2;
}
