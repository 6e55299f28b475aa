// Import, export and diff as steps on a patch list. The engine reads, checks
// and writes the patch files; here the items join the list (or nothing does),
// the list is saved, and the outcome gets the window's words.
#include "core/PatchExchangeJobs.h"

#include "core/PatchListStore.h"
#include "core/PatchSession.h"
#include "engine/Fingerprint.h"
#include "engine/HexText.h"
#include "engine/Progress.h"
#include "winutil/FdIo.h"
#include "winutil/Translate.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

namespace {

constexpr const char* kContext = "PatchExchangeJobs";

std::string Tr(const char* source) {
    return Translate(kContext, source);
}

// Messages about whole files (error icon, caption "错误"); notices have the
// caption "提示".
const char* const kErrorCaption = QT_TRANSLATE_NOOP("PatchExchangeJobs", "错误");
const char* const kNoticeCaption = QT_TRANSLATE_NOOP("PatchExchangeJobs", "提示");
const char* const kNoTarget =
    QT_TRANSLATE_NOOP("PatchExchangeJobs", " 请先选择目标文件: 补丁按它的备份文件导入和导出! ");
const char* const kImportRefused = QT_TRANSLATE_NOOP("PatchExchangeJobs", " 无法导入补丁文件! ");
const char* const kExportRefused = QT_TRANSLATE_NOOP("PatchExchangeJobs", " 无法导出补丁文件! ");
const char* const kDiffRefused = QT_TRANSLATE_NOOP("PatchExchangeJobs", " 无法比较文件! ");
const char* const kListUnchanged = QT_TRANSLATE_NOOP("PatchExchangeJobs", "列表未改变.");
const char* const kNoEnabledItem =
    QT_TRANSLATE_NOOP("PatchExchangeJobs", " 没有有效的项目可导出, 未写入任何文件! ");
const char* const kEmptyList =
    QT_TRANSLATE_NOOP("PatchExchangeJobs", " 列表为空, 未写入任何文件! ");
const char* const kListFile = QT_TRANSLATE_NOOP(
    "PatchExchangeJobs", " 不能导出到目标文件, 备份文件或设置文件, 未写入任何文件! ");
const char* const kPatchWithoutChanges =
    QT_TRANSLATE_NOOP("PatchExchangeJobs", " 补丁文件中没有任何修改, 列表未改变. ");
const char* const kFilesEqual =
    QT_TRANSLATE_NOOP("PatchExchangeJobs", " 两个文件的内容相同, 列表未改变. ");
const char* const kCommonPartEqual =
    QT_TRANSLATE_NOOP("PatchExchangeJobs", " 两个文件的共同部分相同, 列表未改变. ");
const char* const kSomeListed =
    QT_TRANSLATE_NOOP("PatchExchangeJobs", " 已导入 %1 个项目; 跳过了列表中已有的 %2 个相同项目. ");
const char* const kAllListed =
    QT_TRANSLATE_NOOP("PatchExchangeJobs", " 补丁文件中的 %2 个项目都已在列表中, 列表未改变. ");

// An item's data text as import writes it: upper-case pairs, no separators.
std::string CanonicalHex(const std::string& text) {
    constexpr std::uint32_t kDecoded = 4096; // as much as the rebuild decodes
    std::uint8_t bytes[kDecoded];
    char hex[2 * kDecoded + 1];
    const std::uint32_t length = ParseHexText(text.c_str(), bytes, kDecoded);
    FormatHexText(bytes, length, hex);
    return std::string(hex, 2 * length);
}

// Removes from *items (in offset order, texts as import writes them) those
// the list already holds: the same offset and the same old and new bytes.
// Returns how many went.
std::size_t DropListedItems(const PatchList& list, PatchList* items) {
    using Key = std::tuple<std::uint32_t, std::string, std::string>;
    std::set<Key> listed;
    const auto byOffset = [](const PatchItem& item, std::uint32_t offset) {
        return item.offset < offset;
    };
    for (const PatchItem& item : list) {
        // Only items at an offset of the patch can be the same.
        const auto at = std::lower_bound(items->begin(), items->end(), item.offset, byOffset);
        if (at != items->end() && at->offset == item.offset)
            listed.emplace(item.offset, CanonicalHex(item.oldHex), CanonicalHex(item.newHex));
    }
    const std::size_t before = items->size();
    std::erase_if(*items, [&](const PatchItem& item) {
        return listed.count(
                   Key(item.offset, CanonicalHex(item.oldHex), CanonicalHex(item.newHex))) != 0;
    });
    return before - items->size();
}

ExchangeOutcome Failure(ExchangeOutcome::Status status, std::string text) {
    ExchangeOutcome outcome;
    outcome.status = status;
    outcome.text = std::move(text);
    outcome.caption = Tr(kErrorCaption);
    return outcome;
}

// The engine's refusal under the step's headline; for import and diff the
// list stays as it was.
ExchangeOutcome Refused(const char* headline, ExchangeProblem problem, std::string detail,
                        bool listUntouched) {
    std::string text = Tr(headline);
    if (!detail.empty())
        text += "\n" + detail;
    if (listUntouched)
        text.append("\n").append(Tr(kListUnchanged));
    ExchangeOutcome outcome = Failure(ExchangeOutcome::Status::Refused, std::move(text));
    // A refusal with no kind given still counts as a problem with the input.
    outcome.problem = problem == ExchangeProblem::None ? ExchangeProblem::BadInput : problem;
    outcome.detail = std::move(detail);
    return outcome;
}

// A step whose user stopped it: the list and every file stay as they were.
ExchangeOutcome Cancelled() {
    ExchangeOutcome outcome;
    outcome.status = ExchangeOutcome::Status::Cancelled;
    return outcome;
}

ExchangeOutcome Notice(const char* text, std::initializer_list<std::string_view> args = {}) {
    ExchangeOutcome outcome;
    outcome.text = FormatText(Tr(text), args);
    outcome.caption = Tr(kNoticeCaption);
    outcome.notice = true;
    return outcome;
}

// Saves the session's list after items joined it; a list that could not be
// written keeps them in memory, as after any other command.
// Runs step on the list as one change of the session (read again under the
// list's lock, saved when items joined it).
ExchangeOutcome ChangeSaved(PatchSession& session,
                            const std::function<ExchangeOutcome(PatchList&)>& step) {
    ExchangeOutcome outcome;
    const SessionOutcome saved = session.Change([&](PatchList& list) {
        outcome = step(list);
        return outcome.ok() && outcome.count != 0;
    });
    if (!saved.ok()) {
        outcome.status = ExchangeOutcome::Status::NotSaved;
        outcome.text = saved.text;
        outcome.caption = saved.caption;
        outcome.notice = false;
    }
    return outcome;
}

} // namespace

void AddItemsInOrder(PatchList& list, PatchList added) {
    list.insert(list.end(), std::make_move_iterator(added.begin()),
                std::make_move_iterator(added.end()));
    SortPatchList(list);
}

std::size_t CountExportedItems(const PatchList& list, bool all) {
    if (all)
        return list.size();
    return static_cast<std::size_t>(std::count_if(
        list.begin(), list.end(), [](const PatchItem& item) { return item.enabled != 0; }));
}

bool IsSameFile(const std::string& a, const std::string& b) {
    return SameFile(a, b);
}

ExchangeOutcome ImportIntoList(PatchList& list, const std::string& backupPath,
                               const std::string& patchPath) {
    PatchList items;
    std::string error;
    PatchFormat format = PatchFormat::Ips;
    ExchangeProblem problem = ExchangeProblem::None;
    const bool imported = ImportPatchFile(patchPath, backupPath, &items, &error, &format, &problem);
    if (StepCancelled())
        return Cancelled();
    if (!imported)
        return Refused(kImportRefused, problem, std::move(error), true);
    const std::size_t found = items.size();
    const std::size_t skipped = DropListedItems(list, &items);
    ExchangeOutcome outcome;
    if (found == 0)
        outcome = Notice(kPatchWithoutChanges);
    else if (skipped != 0)
        outcome = Notice(items.empty() ? kAllListed : kSomeListed,
                         {std::to_string(items.size()), std::to_string(skipped)});
    outcome.format = format;
    outcome.count = items.size();
    outcome.skipped = skipped;
    AddItemsInOrder(list, std::move(items));
    return outcome;
}

ExchangeOutcome ExportList(const PatchList& list, const std::string& backupPath,
                           const std::vector<std::string>& keepFiles, const std::string& patchPath,
                           PatchFormat format, bool all) {
    using Status = ExchangeOutcome::Status;
    const std::size_t count = CountExportedItems(list, all);
    if (count == 0)
        return Failure(Status::NothingToExport, Tr(list.empty() ? kEmptyList : kNoEnabledItem));
    for (const std::string& keep : keepFiles) {
        if (IsSameFile(patchPath, keep))
            return Failure(Status::ListFile, Tr(kListFile) + "\n" + patchPath);
    }
    std::string error;
    ExchangeProblem problem = ExchangeProblem::None;
    if (!ExportPatchFile(list, backupPath, format, all, patchPath, &error, &problem))
        return StepCancelled() ? Cancelled()
                               : Refused(kExportRefused, problem, std::move(error), false);
    ExchangeOutcome outcome;
    outcome.count = count;
    outcome.format = format;
    return outcome;
}

ExchangeOutcome
DiffIntoList(PatchList& list, const std::string& backupPath, const std::string& originalPath,
             const std::string& patchedPath,
             const std::function<bool(std::uint64_t originalLength, std::uint64_t patchedLength)>&
                 askCommonLength) {
    // Files of different lengths are compared only as far as both go, and
    // only when the user says so. Anything that is no readable file is left
    // to the comparison, which names it.
    FileStamp original;
    FileStamp patched;
    bool commonLengthOnly = false;
    if (StampFile(originalPath, &original) && StampFile(patchedPath, &patched) &&
        original.size != patched.size) {
        if (!askCommonLength || !askCommonLength(original.size, patched.size))
            return Cancelled();
        commonLengthOnly = true;
    }
    PatchList items;
    std::string error;
    ExchangeProblem problem = ExchangeProblem::None;
    const bool compared =
        DiffFiles(originalPath, patchedPath, commonLengthOnly, &items, &error, &problem) &&
        (backupPath.empty() ||
         CheckDiffAgainstBackup(items, originalPath, backupPath, &error, &problem));
    if (StepCancelled())
        return Cancelled();
    if (!compared)
        return Refused(kDiffRefused, problem, std::move(error), true);
    ExchangeOutcome outcome;
    if (items.empty())
        outcome = Notice(commonLengthOnly ? kCommonPartEqual : kFilesEqual);
    outcome.count = items.size();
    AddItemsInOrder(list, std::move(items));
    return outcome;
}

ExchangeOutcome RequireTarget(const PatchSession& session) {
    if (session.TargetPath().empty())
        return Failure(ExchangeOutcome::Status::NoTarget, Tr(kNoTarget));
    return ExchangeOutcome{};
}

ExchangeOutcome ImportIntoSession(PatchSession& session, const std::string& patchPath) {
    if (ExchangeOutcome target = RequireTarget(session); !target.ok())
        return target;
    return ChangeSaved(session, [&](PatchList& list) {
        return ImportIntoList(list, session.BackupPath(), patchPath);
    });
}

ExchangeOutcome ExportFromSession(const PatchSession& session, const std::string& patchPath,
                                  PatchFormat format, bool all) {
    if (ExchangeOutcome target = RequireTarget(session); !target.ok())
        return target;
    return ExportList(session.Items(), session.BackupPath(),
                      {session.TargetPath(), session.BackupPath(), session.SettingsFilePath()},
                      patchPath, format, all);
}

ExchangeOutcome DiffIntoSession(
    PatchSession& session, const std::string& originalPath, const std::string& patchedPath,
    const std::function<bool(std::uint64_t originalLength, std::uint64_t patchedLength)>&
        askCommonLength) {
    return ChangeSaved(session, [&](PatchList& list) {
        const std::string backup =
            session.TargetPath().empty() ? std::string() : session.BackupPath();
        return DiffIntoList(list, backup, originalPath, patchedPath, askCommonLength);
    });
}
