// Where the settings file and the scratch pictures live: beside the executable when that folder
// can be written (a program run from its build or unpacked folder), else in the user's
// configuration folder (an installed program). Never in a folder that other users share.
#pragma once

#include <QString>

namespace nocturo {

// What the choice depends on, gathered by the caller so that the choice itself is plain data.
struct ControlFolderSearch {
    QString programFolder;               // the executable's folder
    bool programFolderWritable = false;  // its "controldata" is (or can be made) a writable folder
    QString configHome;                  // $XDG_CONFIG_HOME; empty when unset
    QString home;                        // $HOME; empty when unset
    bool installed = false;              // the program runs from an install prefix (<prefix>/share/nocturo)
};

enum class ControlFolderKind {
    ProgramFolder,  // <program folder>/controldata
    UserConfig,     // <config home>/Nocturo/controldata, created private to the user
    None,           // nowhere to keep settings: the caller refuses to save them
};

struct ControlFolderChoice {
    ControlFolderKind kind = ControlFolderKind::None;
    QString folder;  // empty for None
};

// The program folder when writable and not an installed one, else $XDG_CONFIG_HOME/Nocturo/controldata, else
// $HOME/.config/Nocturo/controldata. A relative XDG_CONFIG_HOME is ignored, as the XDG base
// directory rules require, and so is a relative HOME.
ControlFolderChoice chooseControlFolder(const ControlFolderSearch& search);

// Makes `folder` a directory only this user can enter: every missing component is created with
// mode 0700, and the last one must end up a directory owned by this user, not writable by others;
// a looser mode of one we own is tightened to 0700. On failure returns false with a Japanese
// reason in *error.
bool makePrivateFolder(const QString& folder, QString* error);

}  // namespace nocturo
