// The main window's commands: the seven buttons and the list view's
// notifications. Saving, the backup copy and the rebuild are the session's
// (app/PatchSession.h); the commands show what it reports.
#include "app/BytemenderDlg.h"

#include "app/PatchListStore.h"
#include "editor/ItemEditDlg.h"
#include "winutil/DlgUtil.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"

#include <QFileInfo>
#include <QTableView>

#include <cstddef>
#include <string>
#include <vector>

namespace {

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
    SaveListAndRefresh();
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
    SaveListAndRefresh();
}

// 1007 "复制": a copy of the first selected item goes directly above it and
// takes its row number, so it is the selected row afterwards.
void CBytemenderDlg::OnCopyItem() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    const PatchItem copy = patchList[static_cast<std::size_t>(row)];
    patchList.insert(patchList.begin() + row, copy);
    SaveListAndRefresh();
}

// 1005 "删除": removes the first selected item, without asking.
void CBytemenderDlg::OnDeleteItem() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    patchList.erase(patchList.begin() + row);
    SaveListAndRefresh();
}

// Double click in the list: flips the first selected item and saves the list.
void CBytemenderDlg::OnListDoubleClick() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    Flip(patchList[static_cast<std::size_t>(row)]);
    SaveListAndRefresh();
}

// Selection changes have no effect of their own.
void CBytemenderDlg::OnListItemChanged() {}

// 1002 "保存": saves the list as it stands, flags included, then rebuilds the
// target from the backup. A list that could not be saved is not rebuilt from;
// a target changed by someone else since this program last saw it is
// rebuilt only when the user says how.
void CBytemenderDlg::ApplyPatches() {
    const SessionOutcome outcome =
        session.Apply([this] { return prompts->AskTargetChanged(this, targetPath); });
    RefreshList();
    Report(outcome);
}

// 1006 "文件": chooses a new target and makes its pristine backup copy.
void CBytemenderDlg::ChooseTarget() {
    std::string moduleDir;
    if (GetModuleDir(&moduleDir))
        (void)SetCurrentFolder(moduleDir);

    // The chooser opens in the current target's folder, the target
    // preselected; without a target, or when its folder is gone, where it
    // always did.
    std::string chosen = moduleDir;
    std::string targetDir;
    if (SplitPath(targetPath.c_str(), &targetDir, nullptr) && !targetDir.empty() &&
        QFileInfo(NarrowToQString(targetDir)).isDir())
        chosen = targetPath;
    if (!prompts->ChooseFile(this, &chosen) || chosen.empty())
        return;
    const SessionOutcome outcome = session.ChooseTarget(chosen);
    // Refused, the previous target stays; merely unsaved, the new one is
    // taken (its backup exists) and a later save may store it.
    if (outcome.ok() || outcome.status == SessionOutcome::Status::NotSaved) {
        RefreshList();
        UpdateTitle();
    }
    Report(outcome);
}

void CBytemenderDlg::SaveListAndRefresh() {
    const SessionOutcome outcome = session.SaveList();
    RefreshList();
    Report(outcome);
}

void CBytemenderDlg::Report(const SessionOutcome& outcome) {
    if (!outcome.text.empty())
        prompts->ShowMessage(this, NarrowToQString(outcome.text), NarrowToQString(outcome.caption));
}

int CBytemenderDlg::MakeBackupPath() {
    session.MakeBackupPath();
    return 1;
}
