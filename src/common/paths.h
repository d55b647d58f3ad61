// Small path helpers shared by the windows and the settings.
#pragma once

#include <QString>

#include <algorithm>

namespace nocturo {

// The file-name part of a path: what follows its last "/" or "\" (paths from Windows settings
// files keep their backslashes).
inline QString fileNamePart(const QString& path) {
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(slash + 1);
}

}  // namespace nocturo
