#include "settings/control_folder.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nocturo {

namespace {

QString configFolderFrom(const QString& configHome) {
    return QDir::cleanPath(configHome) + QStringLiteral("/Nocturo/controldata");
}

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

}  // namespace

ControlFolderChoice chooseControlFolder(const ControlFolderSearch& search) {
    if (search.programFolderWritable && !search.installed && !search.programFolder.isEmpty())
        return {ControlFolderKind::ProgramFolder, QDir::cleanPath(search.programFolder) + QStringLiteral("/controldata")};
    if (QDir::isAbsolutePath(search.configHome))
        return {ControlFolderKind::UserConfig, configFolderFrom(search.configHome)};
    if (QDir::isAbsolutePath(search.home))
        return {ControlFolderKind::UserConfig, configFolderFrom(search.home + QStringLiteral("/.config"))};
    return {};
}

bool makePrivateFolder(const QString& folder, QString* error) {
    auto fail = [error](const QString& reason) {
        if (error) *error = reason;
        return false;
    };
    const QString clean = QDir::cleanPath(folder);
    if (!QDir::isAbsolutePath(clean)) return fail(QStringLiteral("絶対パスではありません: %1").arg(folder));

    // Components are created one by one with 0700, so that no moment exists in which another
    // user could enter a folder of ours; one that appears meanwhile is checked like any other.
    const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        path += u'/' + part;
        const QByteArray native = QFile::encodeName(path);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return fail(QStringLiteral("フォルダを作成できません: %1 (%2)").arg(path, systemReason(errno)));
    }

    const QByteArray native = QFile::encodeName(clean);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return fail(QStringLiteral("フォルダを調べられません: %1 (%2)").arg(clean, systemReason(errno)));
    if (!S_ISDIR(info.st_mode)) return fail(QStringLiteral("フォルダではありません: %1").arg(clean));
    if (info.st_uid != ::getuid())
        return fail(QStringLiteral("ほかのユーザーのフォルダです: %1").arg(clean));
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return fail(QStringLiteral("フォルダを自分専用にできません: %1 (%2)").arg(clean, systemReason(errno)));
    if (::access(native.constData(), W_OK | X_OK) != 0)
        return fail(QStringLiteral("フォルダに書き込めません: %1 (%2)").arg(clean, systemReason(errno)));
    return true;
}

}  // namespace nocturo
