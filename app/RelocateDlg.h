// The confirmation of a relocation: every item that would move (description,
// old offset -> new offset) and every item that cannot be placed (and why),
// with "重新定位" (only when something moves) and "取消". Nothing changes in
// the dialog itself; the caller acts on the answer. Before a new backup copy
// of an updated target is taken, the same list comes with
// "重新定位并重新备份" when every enabled item then fits, else with
// "仍然替换" (take the copy, the items that cannot move stay where they
// were); "取消" changes nothing and is the default there.
#pragma once

#include "engine/PatchItem.h"
#include "engine/Relocate.h"

#include <QDialog>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

// What the dialog is asked before.
enum class RelocateDlgMode {
    OnDemand,            // "重新定位..." against the current backup
    NewBackupComplete,   // a new backup copy that every enabled item fits once moved
    NewBackupIncomplete, // a new backup copy some enabled item still does not fit
};

class CRelocateDlg : public QDialog {
    Q_OBJECT

  public:
    CRelocateDlg(QWidget* parent, const PatchList& items, const std::vector<ItemRelocation>& plan,
                 RelocateDlgMode mode = RelocateDlgMode::OnDemand);

    // The line above the table ("%1 个项目将移动, %2 个无法重新定位.").
    QString Summary() const;
    // The rows as shown: description, offsets, result.
    QTreeWidget* Table() const { return table_; }
    // The accepting button: "重新定位", "重新定位并重新备份" or "仍然替换".
    QPushButton* RelocateButton() const { return relocateButton_; }

    // Why an item cannot be placed, for people.
    static QString FailureText(const ItemRelocation& entry);

  private:
    QLabel* summary_ = nullptr;
    QTreeWidget* table_ = nullptr;
    QPushButton* relocateButton_ = nullptr;
};
