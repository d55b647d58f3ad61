// Opening the main window's help page. The request goes through a replaceable hook, so that the
// window tests record it instead of handing a document to the desktop.
#pragma once

#include <QString>

#include <functional>

namespace nocturo {

// Opens a document with the desktop's default action; the result is not checked by the caller.
using DocumentOpener = std::function<bool(const QString& path)>;

// The hook Panel9Click goes through; by default QDesktopServices::openUrl on the local file.
DocumentOpener& helpDocumentOpener();

// "help/index.html" beside the executable, else in the installed data folder; when neither
// exists, the path beside the executable (the desktop then simply fails to open it).
QString helpPagePath();

}  // namespace nocturo
