// Rebuilding the target from its backup copy, and the backup path.
#include "engine/Rebuild.h"

#include "engine/HexText.h"
#include "winutil/FileUtil.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace {

// Room for the old and the new data of one item.
constexpr std::uint32_t kDataCapacity = 4096;

RebuildOutcome Failure(RebuildOutcome::Status status, std::string text, const char* caption) {
    RebuildOutcome outcome;
    outcome.status = status;
    outcome.text = std::move(text);
    outcome.caption = caption;
    return outcome;
}

} // namespace

RebuildOutcome RebuildTarget(const std::string& backupPath, std::span<const PatchItem> items,
                             const std::string& targetPath) {
    FileBuffer file;
    if (!file.Load(backupPath.c_str()) || file.length == 0)
        return Failure(RebuildOutcome::Status::BackupUnreadable, " 无法访问选择的文件! ", "错误");

    std::uint8_t oldBytes[kDataCapacity];
    std::uint8_t newBytes[kDataCapacity];
    for (const PatchItem& item : items) {
        if (item.enabled == 0)
            continue;
        const std::uint32_t oldLength = ParseHexText(item.oldHex.c_str(), oldBytes, kDataCapacity);
        const std::uint32_t newLength = ParseHexText(item.newHex.c_str(), newBytes, kDataCapacity);
        // 64-bit sum: an offset near the top of the 32-bit range must not wrap round.
        const std::uint64_t end =
            std::uint64_t(item.offset) + std::uint64_t(std::max(oldLength, newLength));
        if (end > file.length)
            return Failure(RebuildOutcome::Status::OutOfRange,
                           item.description + "\r\n文件范围超出!", "Error");
        std::uint8_t* at = file.data + item.offset;
        if (oldLength != 0 && std::memcmp(at, oldBytes, oldLength) != 0)
            return Failure(RebuildOutcome::Status::OldDataMismatch,
                           item.description + "\r\n原始数据不匹配!", "Error");
        if (newLength != 0)
            std::memcpy(at, newBytes, newLength);
    }

    // Anything short of the whole buffer leaves a damaged target: report it.
    if (WriteFileWhole(targetPath.c_str(), file.data, file.length) != file.length)
        return Failure(RebuildOutcome::Status::WriteFailed, " 无法写入输出文件! ", "错误");
    return RebuildOutcome{};
}

bool MakeBackupPath(const std::string& moduleDir, const std::string& targetPath,
                    std::string* backupPath) {
    std::string name;
    SplitPath(targetPath.c_str(), nullptr, &name);
    const std::string folder = moduleDir + "/Path_bak";
    ::mkdir(folder.c_str(), 0777); // usually exists already
    std::string path = folder + "/" + name;
    if (path.size() >= kPathCapacity) {
        if (backupPath)
            backupPath->clear();
        return false;
    }
    if (backupPath)
        *backupPath = std::move(path);
    return true;
}
