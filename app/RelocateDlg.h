// The confirmation of a relocation: every item that would move (description,
// old offset -> new offset) and every item that cannot be placed (and why),
// with "重新定位" (only when something moves) and "取消". Nothing changes in
// the dialog itself; the caller acts on the answer.
#pragma once

#include "engine/PatchItem.h"
#include "engine/Relocate.h"

#include <QDialog>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

class CRelocateDlg : public QDialog {
    Q_OBJECT

  public:
    CRelocateDlg(QWidget* parent, const PatchList& items, const std::vector<ItemRelocation>& plan);

    // The line above the table ("%1 个项目将移动, %2 个无法重新定位.").
    QString Summary() const;
    // The rows as shown: description, offsets, result.
    QTreeWidget* Table() const { return table_; }
    QPushButton* RelocateButton() const { return relocateButton_; }

    // Why an item cannot be placed, for people.
    static QString FailureText(const ItemRelocation& entry);

  private:
    QLabel* summary_ = nullptr;
    QTreeWidget* table_ = nullptr;
    QPushButton* relocateButton_ = nullptr;
};
