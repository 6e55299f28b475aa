// Where the settings file and the backup folder live. A program in a folder
// of its own that the user can write to keeps both beside itself, so the
// folder can be moved or carried around whole (the portable use). An
// installed program (its folder belongs to the system or is not writable)
// keeps them in the user's XDG folders instead (on Windows %APPDATA% and
// %LOCALAPPDATA%, below Bytemender; LocationsWin32.cpp).
#pragma once

#include <string>

struct DataLocations {
    std::string settingsFile; // full path of the settings file
    std::string backupFolder; // full path of the Path_bak folder
    bool portable = true;     // both beside the program
};

// portableSettingsFile is the settings file beside the program
// ("<exe dir>/<exe name>.ini"). It is used, with Path_bak beside it, when it
// exists already or when its folder is writable and is not a system program
// folder (under /usr, /bin, /sbin or /opt). Otherwise the settings file is
// $XDG_CONFIG_HOME/bytemender/<same file name> and the backup folder
// $XDG_DATA_HOME/bytemender/Path_bak, with the usual defaults ~/.config and
// ~/.local/share (the home folder from $HOME, else the password database).
// Nothing is created here.
DataLocations ResolveDataLocations(const std::string& portableSettingsFile);

// Creates path and the folders above it that are missing (mode 0700 for new
// ones, as XDG asks). True when path is a folder afterwards.
bool CreateFolders(const std::string& path);
