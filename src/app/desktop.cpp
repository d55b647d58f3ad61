#include "app/desktop.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace nocturo {

DesktopRequest& documentOpener() {
    static DesktopRequest open = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    return open;
}

DesktopRequest& programStarter() {
    static DesktopRequest start = [](const QString& path) {
        if (path.trimmed().isEmpty()) return false;
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable()) return QProcess::startDetached(path, {});
        return documentOpener()(path);
    };
    return start;
}

DesktopBeep& beeper() {
    static DesktopBeep sound = [] { QApplication::beep(); };
    return sound;
}

ProgramLaunch& programLauncher() {
    static ProgramLaunch launch = [](const QString& path, const QStringList& arguments) {
        if (path.trimmed().isEmpty()) return false;
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable()) return QProcess::startDetached(path, arguments);
        return documentOpener()(path);
    };
    return launch;
}

QString installedDocumentPath(const QString& relativePath) {
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString besideProgram = programFolder + u'/' + relativePath;
    if (QFileInfo(besideProgram).isFile()) return besideProgram;
    const QString shared = programFolder + QStringLiteral("/../share/nocturo/") + relativePath;
    if (QFileInfo(shared).isFile()) return QFileInfo(shared).canonicalFilePath();
    const QString data = QStandardPaths::locate(QStandardPaths::AppDataLocation, relativePath);
    return data.isEmpty() ? besideProgram : data;
}

}  // namespace nocturo
