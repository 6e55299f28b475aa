// The main window's commands.
#include "app/BytemenderDlg.h"

#include "engine/Rebuild.h"
#include "winutil/FileUtil.h"

void CBytemenderDlg::OnToggleSelected() {}

void CBytemenderDlg::OnDisableAll() {}

void CBytemenderDlg::OnEditItem() {}

void CBytemenderDlg::OnAddItem() {}

void CBytemenderDlg::OnCopyItem() {}

void CBytemenderDlg::OnDeleteItem() {}

void CBytemenderDlg::OnListDoubleClick() {}

void CBytemenderDlg::OnListItemChanged() {}

void CBytemenderDlg::ApplyPatches() {}

void CBytemenderDlg::ChooseTarget() {}

void CBytemenderDlg::RebuildTarget() {}

int CBytemenderDlg::MakeBackupPath() {
    std::string moduleDir;
    GetModuleDir(&moduleDir);
    if (!::MakeBackupPath(moduleDir, targetPath, &backupPath))
        backupPath.clear();
    return 1;
}
