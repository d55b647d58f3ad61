// Where the settings live: the choice over program folder, XDG_CONFIG_HOME and HOME as a table,
// and the private folder it is kept in (mode, ownership, things in the way).
#include "settings/control_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace nocturo;

namespace {

struct ChoiceCase {
    const char* name;
    ControlFolderSearch search;
    ControlFolderKind kind;
    const char* folder;
};

// The case's name, not its bytes, in a failure message.
void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class ChooseControlFolderTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseControlFolderTest, PicksTheFolderOfTheTable) {
    const ChoiceCase& c = GetParam();
    const ControlFolderChoice choice = chooseControlFolder(c.search);
    EXPECT_EQ(choice.kind, c.kind);
    EXPECT_EQ(choice.folder.toStdString(), c.folder);
}

// clang-format off
const ChoiceCase kChoiceCases[] = {
    {"WritableProgramFolder", {"/opt/nocturo/bin", true, "/home/u/.cfg", "/home/u"},
     ControlFolderKind::ProgramFolder, "/opt/nocturo/bin/controldata"},
    {"WritableProgramFolderWithoutHome", {"/opt/nocturo/bin/", true, "", ""},
     ControlFolderKind::ProgramFolder, "/opt/nocturo/bin/controldata"},
    {"ReadOnlyProgramFolderTakesXdgConfigHome", {"/usr/bin", false, "/home/u/.cfg/", "/home/u"},
     ControlFolderKind::UserConfig, "/home/u/.cfg/Nocturo/controldata"},
    {"ReadOnlyProgramFolderNoConfigHomeTakesDotConfig", {"/usr/bin", false, "", "/home/u"},
     ControlFolderKind::UserConfig, "/home/u/.config/Nocturo/controldata"},
    {"RelativeConfigHomeIsIgnored", {"/usr/bin", false, "cfg", "/home/u"},
     ControlFolderKind::UserConfig, "/home/u/.config/Nocturo/controldata"},
    {"NoConfigHomeNoHome", {"/usr/bin", false, "", ""}, ControlFolderKind::None, ""},
    {"RelativeHomeIsNoHome", {"/usr/bin", false, "", "u"}, ControlFolderKind::None, ""},
    // An installed program keeps out of its prefix even where it could write there (root, or a
    // prefix of the user's own): the package manager owns those folders.
    {"InstalledProgramWritableByRootTakesXdgConfigHome", {"/usr/bin", true, "/root/.cfg", "/root", true},
     ControlFolderKind::UserConfig, "/root/.cfg/Nocturo/controldata"},
    {"InstalledInHomePrefixTakesDotConfig", {"/home/u/.local/bin", true, "", "/home/u", true},
     ControlFolderKind::UserConfig, "/home/u/.config/Nocturo/controldata"},
    // The shared temporary folder is never a candidate, whatever the program folder.
    {"ProgramInTmpReadOnly", {"/tmp", false, "", ""}, ControlFolderKind::None, ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, ChooseControlFolderTest, ::testing::ValuesIn(kChoiceCases),
                         [](const auto& info) { return std::string(info.param.name); });

mode_t modeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

TEST(MakePrivateFolderTest, CreatesEveryMissingComponentPrivate) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString folder = base.path() + "/config/Nocturo/controldata";
    QString error;
    ASSERT_TRUE(makePrivateFolder(folder, &error)) << error.toStdString();
    for (const QString& p : {base.path() + "/config", base.path() + "/config/Nocturo", folder})
        EXPECT_EQ(modeOf(p), 0700u) << p.toStdString();
    // A second run finds it as it was.
    EXPECT_TRUE(makePrivateFolder(folder, &error)) << error.toStdString();
}

TEST(MakePrivateFolderTest, TightensAnOpenFolderOfOurOwn) {
    QTemporaryDir base;
    const QString folder = base.path() + "/controldata";
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    QString error;
    ASSERT_TRUE(makePrivateFolder(folder, &error)) << error.toStdString();
    EXPECT_EQ(modeOf(folder), 0700u);
}

TEST(MakePrivateFolderTest, RefusesWhatIsNotAFolderOfOurs) {
    QTemporaryDir base;
    const QString file = base.path() + "/controldata";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("settings");
    }
    QString error;
    EXPECT_FALSE(makePrivateFolder(file, &error));
    EXPECT_TRUE(error.contains(file)) << error.toStdString();
    EXPECT_FALSE(makePrivateFolder(file + "/below", &error));  // a file in the way of a component
    EXPECT_FALSE(makePrivateFolder("relative/controldata", &error));

    // Another user's folder (prepared here with root's chown) is never taken over.
    if (::getuid() == 0) {
        const QString foreign = base.path() + "/foreign";
        ASSERT_EQ(::mkdir(QFile::encodeName(foreign).constData(), 0700), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(foreign).constData(), 0777), 0);
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
        EXPECT_FALSE(makePrivateFolder(foreign, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("ほかのユーザー"))) << error.toStdString();
        EXPECT_EQ(modeOf(foreign), 0777u);
    }
    // Nothing was left in the way: the file is untouched.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("settings"));
}

}  // namespace
