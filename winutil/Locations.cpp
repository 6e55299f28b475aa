// Choosing between the folder beside the program and the user's XDG folders.
#include "winutil/Locations.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kAppFolder = "bytemender";

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Folders that a package manager owns: a program installed there is never
// portable, even for root who could write to them.
bool IsSystemFolder(const std::string& folder) {
    for (std::string_view root : {"/usr", "/bin", "/sbin", "/opt"}) {
        if (folder.size() >= root.size() && folder.compare(0, root.size(), root) == 0 &&
            (folder.size() == root.size() || folder[root.size()] == '/'))
            return true;
    }
    return false;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return std::string();
}

// An XDG base folder: the variable when it holds an absolute path (relative
// ones are invalid and ignored), else fallback below the home folder.
std::string XdgFolder(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return value;
    return HomeFolder() + "/" + fallback;
}

} // namespace

DataLocations ResolveDataLocations(const std::string& portableSettingsFile) {
    DataLocations where;
    const std::string folder = FolderOf(portableSettingsFile);
    struct stat st {};
    const bool exists = ::stat(portableSettingsFile.c_str(), &st) == 0;
    if (exists || (!IsSystemFolder(folder) && ::access(folder.c_str(), W_OK) == 0)) {
        where.settingsFile = portableSettingsFile;
        where.backupFolder = folder == "/" ? "/Path_bak" : folder + "/Path_bak";
        where.portable = true;
        return where;
    }
    where.settingsFile = XdgFolder("XDG_CONFIG_HOME", ".config") + "/" + kAppFolder + "/" +
                         NameOf(portableSettingsFile);
    where.backupFolder =
        XdgFolder("XDG_DATA_HOME", ".local/share") + "/" + kAppFolder + "/Path_bak";
    where.portable = false;
    return where;
}

bool CreateFolders(const std::string& path) {
    if (path.empty())
        return false;
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string part = at == std::string::npos ? path : path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (at == std::string::npos)
            break;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
