// The main window's commands: the seven buttons and the list view's
// notifications, and the rebuild of the target from its backup.
#include "app/BytemenderDlg.h"

#include "app/PatchListStore.h"
#include "editor/ItemEditDlg.h"
#include "engine/Rebuild.h"
#include "winutil/DlgUtil.h"
#include "winutil/FileUtil.h"

#include <QTableView>

#include <cstddef>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Messages about whole files (error icon, caption "错误").
constexpr char16_t kFileCaption[] = u"错误";
constexpr char16_t kTargetPathTooLong[] = u" 选择的文件路径过长, 无法使用! ";
constexpr char16_t kBackupPathTooLong[] = u" 备份文件路径过长, 无法备份选择的文件! ";
constexpr char16_t kBackupCopyFailed[] = u" 无法备份选择的文件! ";

// The lowest selected row of the list view, or -1 when it has none or it does
// not stand for an item.
int FirstSelectedRow(QTableView* list, std::size_t count) {
    std::vector<int> rows;
    GetSelectedRows(list, &rows);
    if (rows.empty() || rows.front() < 0 || static_cast<std::size_t>(rows.front()) >= count)
        return -1;
    return rows.front();
}

void Flip(PatchItem& item) {
    item.enabled = item.enabled == 0 ? 1 : 0;
}

} // namespace

// 1 "有效/无效" (also Enter): flips every selected item in memory.
void CBytemenderDlg::OnToggleSelected() {
    std::vector<int> rows;
    GetSelectedRows(listView, &rows);
    for (int row : rows) {
        if (row >= 0 && static_cast<std::size_t>(row) < patchList.size())
            Flip(patchList[static_cast<std::size_t>(row)]);
    }
    RefreshList();
}

// 2 "全无效" (also Escape): disables every item in memory.
void CBytemenderDlg::OnDisableAll() {
    for (PatchItem& item : patchList)
        item.enabled = 0;
    RefreshList();
}

// 1003 "编辑": the editor changes the first selected item in place. The list is
// not sorted again.
void CBytemenderDlg::OnEditItem() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    CItemEditDlg dlg;
    dlg.SetBackupPath(backupPath);
    dlg.item = &patchList[static_cast<std::size_t>(row)];
    dlg.isModify = 1;
    if (prompts->RunItemEditor(dlg) != CItemEditDlg::kResultOk)
        return;
    SavePatchList();
    RefreshList();
}

// 1004 "增加": a fresh, disabled item from the editor joins the list in offset
// order.
void CBytemenderDlg::OnAddItem() {
    PatchItem fresh;
    CItemEditDlg dlg;
    dlg.SetBackupPath(backupPath);
    dlg.item = &fresh;
    dlg.isModify = 0;
    if (prompts->RunItemEditor(dlg) != CItemEditDlg::kResultOk)
        return;
    patchList.push_back(std::move(fresh));
    SortPatchList(patchList);
    SavePatchList();
    RefreshList();
}

// 1007 "复制": a copy of the first selected item goes directly above it and
// takes its row number, so it is the selected row afterwards.
void CBytemenderDlg::OnCopyItem() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    const PatchItem copy = patchList[static_cast<std::size_t>(row)];
    patchList.insert(patchList.begin() + row, copy);
    SavePatchList();
    RefreshList();
}

// 1005 "删除": removes the first selected item, without asking.
void CBytemenderDlg::OnDeleteItem() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    patchList.erase(patchList.begin() + row);
    SavePatchList();
    RefreshList();
}

// Double click in the list: flips the first selected item and saves the list.
void CBytemenderDlg::OnListDoubleClick() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    Flip(patchList[static_cast<std::size_t>(row)]);
    SavePatchList();
    RefreshList();
}

// Selection changes have no effect of their own.
void CBytemenderDlg::OnListItemChanged() {}

// 1002 "保存": writes the settings store as it stands (the list as of the last
// command that saved it), then rebuilds the target with the flags in memory.
void CBytemenderDlg::ApplyPatches() {
    settings.Save();
    RebuildTarget();
}

// 1006 "文件": chooses a new target and makes its pristine backup copy.
void CBytemenderDlg::ChooseTarget() {
    std::string moduleDir;
    if (GetModuleDir(&moduleDir))
        (void)::chdir(moduleDir.c_str());

    std::string chosen = moduleDir;
    if (!prompts->ChooseFile(this, &chosen) || chosen.empty())
        return;
    // A path that does not fit the target path is refused whole: a cut one
    // would name another file.
    if (chosen.size() >= kPathCapacity) {
        prompts->ShowMessage(this, QString::fromUtf16(kTargetPathTooLong),
                             QString::fromUtf16(kFileCaption));
        return;
    }

    // The target is taken only together with a backup copy of it: without
    // one the next "保存" would start from another file's bytes, or from none.
    const std::string previousTarget = targetPath;
    const std::string previousBackup = backupPath;
    targetPath = chosen;
    MakeBackupPath();
    const char16_t* failure = nullptr;
    if (backupPath.empty())
        failure = kBackupPathTooLong;
    else if (!MakeBackupCopy(targetPath, backupPath))
        failure = kBackupCopyFailed;
    if (failure) {
        targetPath = previousTarget;
        backupPath = previousBackup;
        prompts->ShowMessage(this, QString::fromUtf16(failure), QString::fromUtf16(kFileCaption));
        return;
    }

    SavePatchList();
    RefreshList();
    UpdateTitle();
}

// Rebuilds the target from the backup with every enabled item; a failure is
// shown with its own text and caption and leaves the target as it was.
void CBytemenderDlg::RebuildTarget() {
    const RebuildOutcome outcome = ::RebuildTarget(backupPath, patchList, targetPath);
    if (outcome.ok())
        return;
    prompts->ShowMessage(this, NarrowToQString(outcome.text), NarrowToQString(outcome.caption));
}

int CBytemenderDlg::MakeBackupPath() {
    std::string moduleDir;
    GetModuleDir(&moduleDir);
    if (!::MakeBackupPath(moduleDir, targetPath, &backupPath))
        backupPath.clear();
    return 1;
}
