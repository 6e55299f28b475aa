#include "app/PatchListModel.h"

#include "winutil/DlgUtil.h"

#include <cstdio>

namespace {

struct ColumnInfo {
    const char16_t* title;
    Qt::Alignment alignment;
    int width;
};

const ColumnInfo kColumns[PatchListModel::kColumnCount] = {
    {u"偏移", Qt::AlignLeft, 80},     {u"描述", Qt::AlignLeft, 240},
    {u"原数据", Qt::AlignRight, 120}, {u"新数据", Qt::AlignRight, 120},
    {u"修改", Qt::AlignLeft, 64},
};

bool IsColumn(int column) {
    return column >= 0 && column < PatchListModel::kColumnCount;
}

// Code-page text for display, cut without splitting a surrogate pair.
QString DisplayText(const std::string& text) {
    QString shown = NarrowToQString(text);
    if (shown.size() > PatchListModel::kMaxCellLength) {
        qsizetype cut = PatchListModel::kMaxCellLength;
        if (shown.at(cut - 1).isHighSurrogate())
            --cut;
        shown.truncate(cut);
    }
    return shown;
}

} // namespace

PatchListModel::PatchListModel(const PatchList* list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

void PatchListModel::Reset() {
    beginResetModel();
    endResetModel();
}

int PatchListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !list_)
        return 0;
    return static_cast<int>(list_->size());
}

int PatchListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QString PatchListModel::CellText(const PatchItem& item, int column) {
    switch (column) {
    case OffsetColumn: {
        char text[16];
        std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(item.offset));
        return QString::fromLatin1(text);
    }
    case DescriptionColumn:
        return DisplayText(item.description);
    case OldDataColumn:
        return DisplayText(item.oldHex);
    case NewDataColumn:
        return DisplayText(item.newHex);
    case EnabledColumn:
        return item.enabled != 0 ? QStringLiteral("Yes") : QStringLiteral("No");
    default:
        return QString();
    }
}

QString PatchListModel::ColumnTitle(int column) {
    return IsColumn(column) ? QString::fromUtf16(kColumns[column].title) : QString();
}

Qt::Alignment PatchListModel::ColumnAlignment(int column) {
    return IsColumn(column) ? kColumns[column].alignment : Qt::AlignLeft;
}

int PatchListModel::ColumnWidth(int column) {
    return IsColumn(column) ? kColumns[column].width : 0;
}

QVariant PatchListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const PatchItem& item = (*list_)[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return CellText(item, index.column());
    case Qt::TextAlignmentRole:
        return static_cast<int>(ColumnAlignment(index.column()) | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant PatchListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !IsColumn(section))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return ColumnTitle(section);
    case Qt::TextAlignmentRole:
        return static_cast<int>(ColumnAlignment(section) | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}
