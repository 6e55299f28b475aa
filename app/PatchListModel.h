// The patch list as a table for the main window's list view: offset,
// description, old data, new data, whether the item is applied, and what the
// backup and the target on disk hold at the item's place.
#pragma once

#include "engine/ItemState.h"
#include "engine/PatchItem.h"
#include "engine/Relocate.h"

#include <QAbstractTableModel>
#include <vector>

class PatchListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column : int {
        OffsetColumn,
        DescriptionColumn,
        OldDataColumn,
        NewDataColumn,
        EnabledColumn,
        StateColumn
    };
    static constexpr int kColumnCount = 6;
    // Cell texts are cut to this many UTF-16 units for display.
    static constexpr int kMaxCellLength = 1023;

    // list is not owned and must outlive the model.
    explicit PatchListModel(const PatchList* list, QObject* parent = nullptr);

    // Every row may have changed, been added or removed: the view refills.
    // states holds one status per row in list order; rows without one show
    // an empty state cell.
    void Reset(std::vector<ItemStatus> states = {});
    // New statuses for the same rows (the files changed, the list did not).
    void SetStates(std::vector<ItemStatus> states);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The text of one cell as the list view shows it (the state column
    // excepted: it comes from the item's status).
    static QString CellText(const PatchItem& item, int column);
    // The state cell: "!" first when the item needs attention, then the
    // state, then the overlap mark.
    static QString StateText(const ItemStatus& status);
    // One status for every look the state cell can have: each state with the
    // attention mark where it can have one, with and without the overlap mark
    // (for the room the column needs).
    static std::vector<ItemStatus> EveryStateLook();
    // What was found at the item's place, for the state cell's tooltip (rich
    // text: the bytes of the target and the backup in a small table).
    static QString StateToolTip(const ItemStatus& status);
    // Column titles, alignment and pixel widths.
    static QString ColumnTitle(int column);
    static Qt::Alignment ColumnAlignment(int column);
    static int ColumnWidth(int column);

    // While a long step may change the list on its own thread, the model
    // shows a copy of it taken at Freeze; Thaw goes back to the list itself,
    // and a Reset must follow before the view is painted again.
    void Freeze();
    void Thaw();

    // Where a relocation would move each row's item; the state cell says
    // "可重新定位" for the rows it moves. Empty: none.
    void SetRelocations(std::vector<ItemRelocation> plan);

  private:
    const ItemStatus* StatusOf(int row) const;
    const ItemRelocation* MoveOf(int row) const;

    const PatchList* list_;
    const PatchList* own_ = nullptr; // the list given, while list_ is frozen_
    PatchList frozen_;
    std::vector<ItemStatus> states_;
    std::vector<ItemRelocation> relocations_;
};
