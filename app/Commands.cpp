// The main window's commands: the seven buttons and the list view's
// notifications. Saving, the backup copy and the rebuild are the session's
// (core/PatchSession.h); the commands show what it reports.
#include "app/BytemenderDlg.h"

#include "core/PatchListStore.h"
#include "editor/ItemEditDlg.h"
#include "editor/LongStep.h"
#include "winutil/DlgUtil.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"

#include <QFileInfo>
#include <QTableView>

#include <cstddef>
#include <functional>
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

// The item editor with the backup copy to search and its refusals shown
// through the window's prompts.
void PrepareEditor(CItemEditDlg& dlg, const std::string& backupPath, IUserPrompts& prompts) {
    dlg.SetBackupPath(backupPath);
    dlg.showMessage = [&prompts, &dlg](const QString& text, const QString& caption) {
        prompts.ShowMessage(&dlg, text, caption);
    };
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
    ShowStatus(DoneText(Done::FlagsChanged));
}

// 2 "全无效" (also Escape): disables every item in memory.
void CBytemenderDlg::OnDisableAll() {
    for (PatchItem& item : patchList)
        item.enabled = 0;
    RefreshList();
    ShowStatus(DoneText(Done::FlagsChanged));
}

// The item the user picked at row, found again in the list as the file holds
// it now: by its contents and its place among equal items, not by its row.
struct PickedItem {
    PatchItem item;
    std::size_t occurrence = 0;
};

PickedItem Pick(const PatchList& list, int row) {
    return {list[static_cast<std::size_t>(row)], OccurrenceOf(list, static_cast<std::size_t>(row))};
}

// 1003 "编辑": the editor changes the first selected item in place. The list is
// not sorted again.
void CBytemenderDlg::OnEditItem() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    const PickedItem picked = Pick(patchList, row);
    PatchItem edited = picked.item;
    CItemEditDlg dlg;
    PrepareEditor(dlg, backupPath, *prompts);
    dlg.item = &edited;
    dlg.isModify = 1;
    if (prompts->RunItemEditor(dlg) != CItemEditDlg::kResultOk) {
        // What a refused "确定" stored stays in memory, unsaved, as before.
        patchList[static_cast<std::size_t>(row)] = edited;
        return;
    }
    ChangeListAndRefresh([&](PatchList& list) {
        PatchItem* item = FindItem(list, picked.item, picked.occurrence);
        if (item)
            *item = edited;
        return item != nullptr;
    });
}

// 1004 "增加": a fresh, disabled item from the editor joins the list in offset
// order.
void CBytemenderDlg::OnAddItem() {
    PatchItem fresh;
    CItemEditDlg dlg;
    PrepareEditor(dlg, backupPath, *prompts);
    dlg.item = &fresh;
    dlg.isModify = 0;
    if (prompts->RunItemEditor(dlg) != CItemEditDlg::kResultOk)
        return;
    ChangeListAndRefresh([&](PatchList& list) {
        list.push_back(std::move(fresh));
        SortPatchList(list);
        return true;
    });
}

// 1007 "复制": a copy of the first selected item goes directly above it and
// takes its row number, so it is the selected row afterwards.
void CBytemenderDlg::OnCopyItem() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    const PickedItem picked = Pick(patchList, row);
    ChangeListAndRefresh([&](PatchList& list) {
        PatchItem* item = FindItem(list, picked.item, picked.occurrence);
        if (item)
            list.insert(list.begin() + (item - list.data()), picked.item);
        return item != nullptr;
    });
}

// 1005 "删除": removes the first selected item, without asking.
void CBytemenderDlg::OnDeleteItem() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    const PickedItem picked = Pick(patchList, row);
    ChangeListAndRefresh([&](PatchList& list) {
        PatchItem* item = FindItem(list, picked.item, picked.occurrence);
        if (item)
            list.erase(list.begin() + (item - list.data()));
        return item != nullptr;
    });
}

// Double click in the list: flips the first selected item and saves the list.
void CBytemenderDlg::OnListDoubleClick() {
    const int row = FirstSelectedRow(listView, patchList.size());
    if (row < 0)
        return;
    const PickedItem picked = Pick(patchList, row);
    ChangeListAndRefresh([&](PatchList& list) {
        PatchItem* item = FindItem(list, picked.item, picked.occurrence);
        if (item)
            Flip(*item);
        return item != nullptr;
    });
}

// Selection changes have no effect of their own.
void CBytemenderDlg::OnListItemChanged() {}

// 1002 "保存": saves the list as it stands, flags included, then rebuilds the
// target from the backup. A list that could not be saved is not rebuilt from;
// a target changed by someone else since this program last saw it is
// rebuilt only when the user says how.
// A cancelled rebuild leaves the target, the backup and the settings file as
// they were.
void CBytemenderDlg::ApplyPatches() {
    SessionOutcome outcome;
    RunStep(tr("正在重建目标文件..."), [&] {
        outcome = session.Apply([this] {
            return OnWindowThread(this,
                                  [&] { return prompts->AskTargetChanged(this, targetPath); });
        });
    });
    AfterListRead();
    RefreshList();
    Report(outcome, DoneText(Done::Rebuilt));
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
    SessionOutcome outcome;
    RunStep(tr("正在复制目标文件到备份文件夹..."), [&] { outcome = session.ChooseTarget(chosen); });
    AfterListRead();
    // Refused, the previous target stays; merely unsaved, the new one is
    // taken (its backup exists) and a later save may store it.
    RefreshList();
    UpdateTitle();
    Report(outcome, DoneText(Done::TargetTaken));
}

void CBytemenderDlg::ChangeListAndRefresh(const std::function<bool(PatchList&)>& change) {
    bool found = true;
    const SessionOutcome outcome = session.Change([&](PatchList& list) {
        found = change(list);
        return found;
    });
    AfterListRead();
    RefreshList();
    Report(found || !outcome.ok() ? outcome : PatchSession::ItemGone(), DoneText(Done::ListSaved));
}

int CBytemenderDlg::MakeBackupPath() {
    session.MakeBackupPath();
    return 1;
}
