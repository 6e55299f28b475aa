// Choosing between the folder beside the program and the user's application
// data folders on Windows.
#include "winutil/Locations.h"

#include "winutil/Win32Internal.h"

#include <string_view>

namespace {

using namespace win32;

constexpr const char* kAppFolder = "Bytemender";

std::size_t LastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = LastSeparator(path);
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = LastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Variable(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0)
        return std::string();
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
    value.resize(length < needed ? length : 0);
    return Narrow(value);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c == '/')
            c = '\\';
    }
    return text;
}

// Folders that an installer owns: a program there is never portable, even
// for an administrator who could write to them.
bool IsSystemFolder(const std::string& folder) {
    const std::string path = Lower(folder);
    for (const wchar_t* variable :
         {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"SystemRoot"}) {
        const std::string root = Lower(Variable(variable));
        if (!root.empty() && path.size() >= root.size() &&
            path.compare(0, root.size(), root) == 0 &&
            (path.size() == root.size() || path[root.size()] == '\\'))
            return true;
    }
    return false;
}

// True when a new file can be made in folder (tried with a file that goes
// away on its own when closed).
bool FolderTakesFiles(const std::string& folder) {
    const std::wstring probe =
        Wide(folder + "\\.bytemender-probe-" + std::to_string(GetCurrentProcessId()));
    const HANDLE handle = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
}

// An application data folder from its variable, else below the profile.
std::string DataFolder(const wchar_t* variable, const char* fallback) {
    const std::string value = Variable(variable);
    if (!value.empty())
        return value;
    return Variable(L"USERPROFILE") + "\\" + fallback;
}

} // namespace

DataLocations ResolveDataLocations(const std::string& portableSettingsFile) {
    DataLocations where;
    const std::string folder = FolderOf(portableSettingsFile);
    const bool exists = LookAtPath(portableSettingsFile).Exists();
    if (exists || (!IsSystemFolder(folder) && FolderTakesFiles(folder))) {
        where.settingsFile = portableSettingsFile;
        where.backupFolder = folder + "\\Path_bak";
        where.portable = true;
        return where;
    }
    where.settingsFile = DataFolder(L"APPDATA", "AppData\\Roaming") + "\\" + kAppFolder + "\\" +
                         NameOf(portableSettingsFile);
    where.backupFolder =
        DataFolder(L"LOCALAPPDATA", "AppData\\Local") + "\\" + kAppFolder + "\\Path_bak";
    where.portable = false;
    return where;
}

bool CreateFolders(const std::string& path) {
    if (path.empty())
        return false;
    // The root of the path ("C:\", "\\server\share\") is never made.
    std::size_t start = 1;
    if (path.size() >= 2 && path[1] == ':')
        start = 3;
    else if (path.rfind("\\\\", 0) == 0 || path.rfind("//", 0) == 0) {
        const std::size_t server = path.find_first_of("\\/", 2);
        start = server == std::string::npos ? path.size() : path.find_first_of("\\/", server + 1);
        if (start == std::string::npos)
            start = path.size();
    }
    for (std::size_t at = path.find_first_of("\\/", start);;
         at = path.find_first_of("\\/", at + 1)) {
        const std::string part = at == std::string::npos ? path : path.substr(0, at);
        if (!part.empty() && !MakeFolder(part, 0700))
            return false;
        if (at == std::string::npos)
            break;
    }
    return LookAtPath(path).kind == FileKind::Folder;
}
