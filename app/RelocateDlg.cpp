// The relocation dialog, the window's "重新定位..." command and the prompt
// that runs the dialog.
#include "app/RelocateDlg.h"

#include "app/BytemenderDlg.h"
#include "app/UserPrompts.h"
#include "core/PatchExchangeJobs.h"
#include "core/PatchSession.h"
#include "winutil/DlgUtil.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString OffsetText(std::uint32_t offset) {
    return QStringLiteral("%1").arg(offset, 8, 16, QLatin1Char('0'));
}

} // namespace

CRelocateDlg::CRelocateDlg(QWidget* parent, const PatchList& items,
                           const std::vector<ItemRelocation>& plan, RelocateDlgMode mode)
    : QDialog(parent) {
    setWindowTitle(tr("重新定位"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    table_ = new QTreeWidget(this);
    table_->setRootIsDecorated(false);
    table_->setColumnCount(3);
    table_->setHeaderLabels({tr("描述"), tr("偏移"), tr("结果")});
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    int moves = 0, failures = 0;
    // The moves first, then the items that stay where they are.
    for (const bool moving : {true, false}) {
        for (std::size_t n = 0; n < plan.size() && n < items.size(); ++n) {
            const ItemRelocation& entry = plan[n];
            if (entry.kind == RelocationKind::InPlace ||
                (entry.kind == RelocationKind::Moves) != moving)
                continue;
            auto* row = new QTreeWidgetItem(table_);
            row->setText(0, NarrowToQString(items[n].description));
            if (moving) {
                row->setText(1, OffsetText(items[n].offset) + QStringLiteral(" → ") +
                                    OffsetText(entry.newOffset));
                row->setText(2, tr("移动"));
                ++moves;
            } else {
                row->setText(1, OffsetText(items[n].offset));
                row->setText(2, FailureText(entry));
                row->setForeground(2, QColor(0xB0, 0x30, 0x20));
                ++failures;
            }
        }
    }
    switch (mode) {
    case RelocateDlgMode::OnDemand:
        summary_->setText(tr("%1 个项目将移动到它们的特征码所在的位置, %2 个无法重新定位. "
                             "确认之前不会改变任何东西.")
                              .arg(moves)
                              .arg(failures));
        break;
    case RelocateDlgMode::NewBackupComplete:
        summary_->setText(
            tr("目标文件已更新: %1 个项目将移动到它们在新版本中的位置, %2 个无法重新定位. "
               "确认后才会移动它们, 重新备份并重建目标文件.")
                .arg(moves)
                .arg(failures));
        break;
    case RelocateDlgMode::NewBackupIncomplete:
        summary_->setText(tr("目标文件已更新: %1 个项目可以移动, 但 %2 个无法重新定位, "
                             "新的备份文件无法重建它们. 取消: 不做任何改变 (推荐). 仍然替换: "
                             "移动能移动的项目并重新备份, 其余项目留在原处.")
                              .arg(moves)
                              .arg(failures));
        break;
    }
    table_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    table_->header()->setStretchLastSection(false);

    auto* buttons = new QDialogButtonBox(this);
    const bool onDemand = mode == RelocateDlgMode::OnDemand;
    const bool incomplete = mode == RelocateDlgMode::NewBackupIncomplete;
    relocateButton_ = buttons->addButton(onDemand     ? tr("重新定位")
                                         : incomplete ? tr("仍然替换")
                                                      : tr("重新定位并重新备份"),
                                         QDialogButtonBox::AcceptRole);
    relocateButton_->setEnabled(moves > 0 || incomplete);
    QPushButton* cancel = buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    const bool relocateFirst = moves > 0 && !incomplete;
    relocateButton_->setDefault(relocateFirst);
    relocateButton_->setAutoDefault(relocateFirst);
    cancel->setDefault(!relocateFirst);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(560, 320);
}

QString CRelocateDlg::Summary() const {
    return summary_->text();
}

QString CRelocateDlg::FailureText(const ItemRelocation& entry) {
    switch (entry.kind) {
    case RelocationKind::NotFound:
        return tr("没找到特征码");
    case RelocationKind::Ambiguous:
        return tr("特征码出现了 %1 次").arg(entry.found);
    default:
        return tr("没有特征码");
    }
}

bool IUserPrompts::ConfirmRelocation(QWidget*, const PatchList&,
                                     const std::vector<ItemRelocation>&) {
    return false;
}

BackupRelocationAnswer IUserPrompts::ConfirmBackupRelocation(QWidget*, const PatchList&,
                                                             const std::vector<ItemRelocation>&,
                                                             bool) {
    return BackupRelocationAnswer::Cancel;
}

BackupRelocationAnswer
QtUserPrompts::ConfirmBackupRelocation(QWidget* owner, const PatchList& items,
                                       const std::vector<ItemRelocation>& plan, bool complete) {
    CRelocateDlg dlg(owner, items, plan,
                     complete ? RelocateDlgMode::NewBackupComplete
                              : RelocateDlgMode::NewBackupIncomplete);
    if (dlg.exec() != QDialog::Accepted)
        return BackupRelocationAnswer::Cancel;
    return complete ? BackupRelocationAnswer::Relocate : BackupRelocationAnswer::ReplaceAnyway;
}

bool QtUserPrompts::ConfirmRelocation(QWidget* owner, const PatchList& items,
                                      const std::vector<ItemRelocation>& plan) {
    CRelocateDlg dlg(owner, items, plan);
    return dlg.exec() == QDialog::Accepted;
}

// "重新定位...": the items whose old bytes are no longer at their offsets in
// the backup (after the target was updated and backed up again, or a list
// made on another version) move to where their signatures are, once the user
// confirmed the moves; then the list is saved and the states shown again.
void CBytemenderDlg::OnRelocate() {
    if (const ExchangeOutcome target = RequireTarget(session); !target.ok()) {
        prompts->ShowMessage(this, NarrowToQString(target.text), NarrowToQString(target.caption));
        return;
    }
    std::vector<ItemRelocation> plan;
    if (!session.PlanRelocation(&plan)) {
        prompts->ShowMessage(this, tr("无法读取备份文件 %1").arg(NarrowToQString(backupPath)),
                             tr("错误"));
        return;
    }
    if (!RelocationChangesSomething(plan)) {
        prompts->ShowNotice(this, tr("每个项目的原始数据都在它的偏移处, 没有要重新定位的项目."),
                            tr("重新定位"));
        return;
    }
    if (!prompts->ConfirmRelocation(this, patchList, plan))
        return;
    const SessionOutcome saved = session.Relocate(plan);
    RefreshList();
    Report(saved);
}
