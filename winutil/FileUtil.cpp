// Whole-file reading and writing, paths, the executable's folder, ticks and
// the file change test.
#include "winutil/FileUtil.h"

#include "winutil/CodePage.h"
#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

// Every block handed out by ReadFileWhole starts this many bytes before the
// pointer the caller gets. The header lets FreeFileData refuse a pointer that
// is no such block; its size keeps the data 64-byte aligned. Blocks come from
// the heap: the settings file is read again on each reload, and a heap block
// is reused where the kernel would clear every page of a new mapping first.
// Huge pages are offered for a large one: the first read of a big file then
// takes a few page faults instead of thousands.
constexpr std::size_t kHeaderSize = 64;
constexpr std::uint64_t kBlockMagic = 0x6B6C426D654D7442ull;

// Returns the data pointer of a fresh block for size bytes plus two, or null.
char* AllocateBlock(std::size_t size) {
    const std::size_t total = kHeaderSize + size + 2;
    void* base = std::malloc(total);
    if (!base)
        return nullptr;
    AdviseHugePages(base, total);
    std::memcpy(base, &kBlockMagic, sizeof kBlockMagic);
    return static_cast<char*>(base) + kHeaderSize;
}

std::size_t LastSeparator(const char* path) {
    const char* back = std::strrchr(path, '\\');
    const char* slash = std::strrchr(path, '/');
    const char* sep = back > slash ? back : slash;
    return sep ? static_cast<std::size_t>(sep - path) : std::string::npos;
}

} // namespace

char* ReadFileWhole(const char* path, std::uint32_t* length) {
    if (length)
        *length = 0;
    if (!path)
        return nullptr;
    FileInfo info;
    const UniqueFd fd(OpenRegularForReading(path, &info));
    if (!fd.valid())
        return nullptr;
    if (info.size >= (std::uint64_t(1) << 32))
        return nullptr;
    const auto size = static_cast<std::uint32_t>(info.size);
    if (length)
        *length = size;
    char* data = AllocateBlock(size);
    if (!data)
        return nullptr;
    if (!ReadAllAt(fd.get(), 0, data, size)) {
        FreeFileData(data);
        return nullptr;
    }
    data[size] = 0;
    data[size + 1] = 0;
    return data;
}

char* ReadFileWholeW(const char16_t* path, std::uint32_t* length) {
    if (length)
        *length = 0;
    if (!path)
        return nullptr;
    const std::string narrow = WideToCodePage(path);
    return ReadFileWhole(narrow.c_str(), length);
}

void FreeFileData(char* data) {
    if (!data)
        return;
    char* base = data - kHeaderSize;
    std::uint64_t magic = 0;
    std::memcpy(&magic, base, sizeof magic);
    if (magic != kBlockMagic)
        std::abort(); // not a block of ReadFileWhole: freeing it would corrupt memory
    std::free(base);
}

bool FileBuffer::Load(const char* path) {
    Release();
    std::uint32_t size = 0;
    char* block = ReadFileWhole(path, &size);
    if (!block)
        return false;
    data = reinterpret_cast<std::uint8_t*>(block);
    length = size;
    capacity = size;
    owns = 1;
    return true;
}

void FileBuffer::Release() {
    if (owns && data)
        FreeFileData(reinterpret_cast<char*>(data));
    data = nullptr;
    length = 0;
    capacity = 0;
    owns = 0;
}

// The file is overwritten in place and then cut to the bytes written, which
// leaves exactly what truncating first and writing would leave, but lets the
// file system reuse the blocks and cached pages it already has instead of
// freeing and allocating them again (most of the cost for a large file).
std::uint32_t WriteFileWhole(const char* path, const void* data, std::uint32_t count) {
    if (!path || std::strlen(path) >= kPathCapacity)
        return 0;
    // A FIFO without a reader is refused at once instead of waiting for one.
    FileInfo info;
    UniqueFd fd(OpenForWriting(path, &info));
    if (!fd.valid())
        return 0;
    const bool regular = info.kind == FileKind::Regular;
    const char* bytes = static_cast<const char*>(data);
    std::size_t total = count;
    if (bytes && total == 0)
        total = std::strlen(bytes);
    const std::size_t done = bytes ? WriteSome(fd.get(), bytes, total) : 0;
    if (regular && !SetFileLength(fd.get(), done))
        return 0; // old bytes may remain after the new ones
    return static_cast<std::uint32_t>(done);
}

bool SplitPath(const char* path, std::string* directory, std::string* name) {
    const char* text = path ? path : "";
    const std::size_t sep = LastSeparator(text);
    if (sep == std::string::npos) {
        if (directory)
            *directory = text;
        if (name)
            *name = text;
        return false;
    }
    if (directory)
        directory->assign(text, sep);
    if (name)
        *name = text + sep + 1;
    return true;
}

bool GetModuleFileName(std::string* out) {
    std::string path;
    const bool found = ProgramPath(&path);
    if (out)
        *out = std::move(path);
    return found;
}

bool GetModuleDir(std::string* out) {
    std::string file;
    std::size_t slash = std::string::npos;
    if (GetModuleFileName(&file))
        slash = file.find_last_of(kPathSeparators);
    if (slash == std::string::npos || slash >= kPathCapacity) {
        if (out)
            out->clear();
        return false;
    }
    if (out)
        out->assign(file, 0, slash);
    return true;
}

std::uint32_t GetTickCountMs() {
    return static_cast<std::uint32_t>(MonotonicMs());
}

FileChangeStamp& DefaultFileChangeStamp() {
    static FileChangeStamp stamp;
    return stamp;
}

bool HasFileChanged(const char16_t* path, FileChangeStamp* stamp) {
    if (!stamp)
        stamp = &DefaultFileChangeStamp();
    if (stamp->minInterval != 0) {
        const std::uint32_t now = GetTickCountMs();
        if (stamp->lastTick == 0) {
            stamp->lastTick = now;
        } else if (now - stamp->lastTick < stamp->minInterval) {
            stamp->lastTick = now;
            return false;
        }
    }
    std::uint64_t size = 0;
    std::uint64_t writeTime = 0;
    if (path) {
        const std::string narrow = WideToCodePage(path);
        FileInfo info;
        const UniqueFd fd(OpenForReading(narrow.c_str(), &info));
        if (fd.valid()) {
            size = info.size;
            writeTime = static_cast<std::uint64_t>(info.modifiedNs);
        }
    }
    const auto sizeLow = static_cast<std::uint32_t>(size);
    const auto timeLow = static_cast<std::uint32_t>(writeTime);
    const auto timeHigh = static_cast<std::uint32_t>(writeTime >> 32);
    if (sizeLow == stamp->size && timeLow == stamp->writeTimeLow &&
        timeHigh == stamp->writeTimeHigh)
        return false;
    stamp->size = sizeLow;
    stamp->writeTimeLow = timeLow;
    stamp->writeTimeHigh = timeHigh;
    return true;
}

bool IsWindowsDeviceName(std::string_view path) {
    auto lower = [](std::string_view text) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    };
    const std::string whole = lower(path);
    if (whole.rfind("\\\\.\\", 0) == 0 || whole.rfind("//./", 0) == 0 ||
        whole.rfind("\\\\?\\globalroot", 0) == 0)
        return true;
    const std::size_t slash = whole.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? whole : whole.substr(slash + 1);
    // Windows drops an extension and trailing dots and blanks: "nul.txt " is NUL.
    name = name.substr(0, name.find('.'));
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    static constexpr std::string_view kPlain[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (std::string_view device : kPlain) {
        if (name == device)
            return true;
    }
    return name.size() == 4 && (name.rfind("com", 0) == 0 || name.rfind("lpt", 0) == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

namespace {

// std::filesystem takes narrow text in the system's code page on Windows,
// which is not UTF-8: the text goes through char8_t there.
std::filesystem::path ToPath(const std::string& text) {
#ifdef _WIN32
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
#else
    return std::filesystem::path(text);
#endif
}

std::string FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
#else
    return path.string();
#endif
}

} // namespace

std::string AbsolutePath(const std::string& path, bool normalize) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(ToPath(path), error);
    if (error || absolute.empty())
        return std::string();
    return FromPath(normalize ? absolute.lexically_normal() : absolute);
}

std::string ParentFolder(const std::string& path) {
    return FromPath(ToPath(path).parent_path());
}

// Volume and index name one file on both systems (device and inode, volume
// serial number and file index).
bool SameFile(const std::string& path, const FileInfo& info) {
    const FileInfo other = LookAtPath(path);
    return other.Exists() && info.Exists() && other.volume == info.volume &&
           other.index == info.index;
}

bool SameFile(const std::string& a, const std::string& b) {
    return !a.empty() && !b.empty() && SameFile(a, LookAtPath(b));
}

bool IsFileInFolder(const std::string& path, const std::string& folder) {
    std::error_code error;
    const std::filesystem::path resolvedFolder = std::filesystem::canonical(ToPath(folder), error);
    if (error || !std::filesystem::is_directory(resolvedFolder, error) || error)
        return false;
    // With every symbolic link resolved (for a path that does not exist, its
    // resolved folder and its own name), the path lies below the folder.
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(ToPath(path), error);
    if (!error && !resolved.empty()) {
        const std::filesystem::path relative = resolved.lexically_relative(resolvedFolder);
        if (!relative.empty() && relative != "." && *relative.begin() != "..")
            return true;
    }
    // Or a hard link in the folder names the same file.
    const FileInfo target = LookAtPath(path);
    if (!target.Exists())
        return false;
    std::filesystem::directory_iterator entry(resolvedFolder, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        std::error_code linkError;
        if (entry->is_symlink(linkError) || linkError)
            continue;
        if (SameFile(FromPath(entry->path()), target))
            return true;
    }
    return false;
}
