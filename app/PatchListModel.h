// The patch list as a five-column table for the main window's list view:
// offset, description, old data, new data and whether the item is applied.
#pragma once

#include "app/PatchItem.h"

#include <QAbstractTableModel>

class PatchListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column : int {
        OffsetColumn,
        DescriptionColumn,
        OldDataColumn,
        NewDataColumn,
        EnabledColumn
    };
    static constexpr int kColumnCount = 5;
    // Cell texts are cut to this many UTF-16 units for display.
    static constexpr int kMaxCellLength = 1023;

    // list is not owned and must outlive the model.
    explicit PatchListModel(const PatchList* list, QObject* parent = nullptr);

    // Every row may have changed, been added or removed: the view refills.
    void Reset();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The text of one cell as the list view shows it.
    static QString CellText(const PatchItem& item, int column);
    // Column titles, alignment and pixel widths.
    static QString ColumnTitle(int column);
    static Qt::Alignment ColumnAlignment(int column);
    static int ColumnWidth(int column);

  private:
    const PatchList* list_;
};
