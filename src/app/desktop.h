// Requests the program hands to the desktop: opening a document (help pages, a saved picture),
// starting a program (the star-chart program) and the system beep. They go through hooks that the
// window tests replace, so that a test records a request instead of sending it off the machine.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace nocturo {

// Returns whether the desktop took the request.
using DesktopRequest = std::function<bool(const QString& path)>;

// Opens a document with its default application (QDesktopServices on the local file).
DesktopRequest& documentOpener();

// Starts a program by path with no arguments: an executable file is started detached, anything
// else is opened as a document; an empty path starts nothing (and reports false).
DesktopRequest& programStarter();

// The default system beep that acknowledges a completed command.
using DesktopBeep = std::function<void()>;
DesktopBeep& beeper();

// Sounds the beep through the hook.
inline void beep() { beeper()(); }

// A document that comes with the installation ("help/index.html"): beside the executable, else
// in ../share/nocturo, else in the application data folders; when none has it, the path beside
// the executable (the desktop then fails to open it, which the callers do not report).
// Starts a program with these arguments, handed to it as they are (no shell in between); an
// empty path starts nothing (and reports false), a path that is no executable file is opened as
// a document without them.
using ProgramLaunch = std::function<bool(const QString& path, const QStringList& arguments)>;
ProgramLaunch& programLauncher();

QString installedDocumentPath(const QString& relativePath);

}  // namespace nocturo
