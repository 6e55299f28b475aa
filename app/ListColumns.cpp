#include "app/ListColumns.h"

#include "app/PatchListModel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStringList>
#include <QTableView>

#include <algorithm>

namespace {

constexpr int kWidestColumn = 4000;
// Room around a cell's text: the cell's margins and, in the header, the
// sort indicator's space that styles keep.
constexpr int kCellPadding = 16;
// The description's width unless the user sets one: it gets at least this,
// and all the room the other columns leave; with less the list scrolls
// sideways.
constexpr int kLeastDescription = 120;

} // namespace

std::vector<int> ParseColumnWidths(const QString& text, int count) {
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != count)
        return {};
    std::vector<int> widths;
    for (const QString& part : parts) {
        bool ok = false;
        const int width = part.toInt(&ok);
        if (!ok || width <= 0 || width > kWidestColumn)
            return {};
        widths.push_back(width);
    }
    return widths;
}

QString FormatColumnWidths(const std::vector<int>& widths) {
    QStringList parts;
    for (int width : widths)
        parts << QString::number(width);
    return parts.join(QLatin1Char(' '));
}

ListColumns::ListColumns(QTableView* view, std::function<void(const QString&)> remember)
    : QObject(view), view_(view), remember_(std::move(remember)) {
    for (int column = 0; column < PatchListModel::kColumnCount; ++column)
        widths_.push_back(NeededWidth(column));
    QHeaderView* header = view_->horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this, &ListColumns::OnSectionResized);
    listViewport_ = view_->viewport();
    headerViewport_ = header->viewport();
    listViewport_->installEventFilter(this);
    headerViewport_->installEventFilter(this);
}

int ListColumns::NeededWidth(int column) const {
    QFont bold = view_->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold); // bold is the wider of the two
    QStringList texts{PatchListModel::ColumnTitle(column)};
    if (column == PatchListModel::StateColumn) {
        for (const ItemStatus& status : PatchListModel::EveryStateLook())
            texts << PatchListModel::StateText(status);
    }
    int needed = PatchListModel::ColumnWidth(column);
    for (const QString& text : texts)
        needed = std::max(needed, metrics.horizontalAdvance(text) + kCellPadding);
    return column == PatchListModel::DescriptionColumn ? kLeastDescription : needed;
}

void ListColumns::Restore(const QString& saved) {
    const std::vector<int> widths = ParseColumnWidths(saved, PatchListModel::kColumnCount);
    if (!widths.empty())
        widths_ = widths;
    Fit();
}

QString ListColumns::Saved() const {
    return FormatColumnWidths(widths_);
}

void ListColumns::Fit() {
    fitting_ = true;
    int others = 0;
    for (int column = 0; column < PatchListModel::kColumnCount; ++column) {
        if (column == PatchListModel::DescriptionColumn)
            continue;
        view_->setColumnWidth(column, widths_[static_cast<std::size_t>(column)]);
        others += widths_[static_cast<std::size_t>(column)];
    }
    const int spare = view_->viewport()->width() - others;
    view_->setColumnWidth(PatchListModel::DescriptionColumn,
                          std::max(widths_[PatchListModel::DescriptionColumn], spare));
    fitting_ = false;
}

void ListColumns::OnSectionResized(int column, int, int newWidth) {
    if (fitting_ || column < 0 || column >= PatchListModel::kColumnCount)
        return;
    // The user drags an edge: the width is theirs.
    widths_[static_cast<std::size_t>(column)] = newWidth;
    userResized_ = true;
}

bool ListColumns::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == listViewport_) {
        Fit();
    } else if (event->type() == QEvent::MouseButtonRelease && watched == headerViewport_ &&
               userResized_) {
        // A drag ended: the description takes the room again, and the widths
        // are remembered.
        userResized_ = false;
        Fit();
        if (remember_)
            remember_(Saved());
    }
    return QObject::eventFilter(watched, event);
}
