#include "app/PatchListModel.h"

#include "winutil/DlgUtil.h"
#include "winutil/Translate.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <cstdio>
#include <utility>

namespace {

struct ColumnInfo {
    const char* title;
    Qt::Alignment alignment;
    int width;
};

const ColumnInfo kColumns[PatchListModel::kColumnCount] = {
    {QT_TRANSLATE_NOOP("PatchListModel", "偏移"), Qt::AlignLeft, 80},
    {QT_TRANSLATE_NOOP("PatchListModel", "描述"), Qt::AlignLeft, 240},
    {QT_TRANSLATE_NOOP("PatchListModel", "原数据"), Qt::AlignRight, 120},
    {QT_TRANSLATE_NOOP("PatchListModel", "新数据"), Qt::AlignRight, 120},
    {QT_TRANSLATE_NOOP("PatchListModel", "修改"), Qt::AlignLeft, 64},
    {QT_TRANSLATE_NOOP("PatchListModel", "状态"), Qt::AlignLeft, 124},
};

// How each state shows: its label, the first line of its tooltip, and the
// colours of its cell. A cell that gets a background also gets a dark text
// colour, so that it stays legible under any palette; a state without a
// background keeps the row's.
struct StateLook {
    const char* label;
    const char* meaning;
    QRgb text;
    QRgb background; // 0: none
};

const StateLook& LookOf(ItemState state) {
    static const StateLook kLooks[] = {
        {QT_TRANSLATE_NOOP("PatchListModel", "已应用"),
         QT_TRANSLATE_NOOP("PatchListModel", "目标文件在此处是新数据。"), 0xff1e6b24, 0xffd9f0d4},
        {QT_TRANSLATE_NOOP("PatchListModel", "原样"),
         QT_TRANSLATE_NOOP("PatchListModel", "目标文件在此处是原数据。"), 0xff4a6572, 0},
        {QT_TRANSLATE_NOOP("PatchListModel", "不同"),
         QT_TRANSLATE_NOOP("PatchListModel", "目标文件在此处既不是原数据，也不是新数据。"),
         0xff8a4500, 0xfffde0bd},
        {QT_TRANSLATE_NOOP("PatchListModel", "超出范围"),
         QT_TRANSLATE_NOOP("PatchListModel", "项目超出了备份文件或目标文件的末尾。"), 0xff9b1c1c,
         0xfff8d2d2},
        {QT_TRANSLATE_NOOP("PatchListModel", "备份不符"),
         QT_TRANSLATE_NOOP("PatchListModel", "备份文件在此处不是原数据：保存会失败。"), 0xff7a0000,
         0xfff2b3b3},
        {QT_TRANSLATE_NOOP("PatchListModel", "未知"),
         QT_TRANSLATE_NOOP("PatchListModel", "没有可读的目标文件或备份文件。"), 0xff757575, 0},
    };
    const auto index = static_cast<std::size_t>(state);
    return index < std::size(kLooks) ? kLooks[index] : kLooks[std::size(kLooks) - 1];
}

// A backup mismatch whose old bytes the backup does hold, but which an earlier
// enabled item writes over first: the colours of a mismatch, its own words.
const char* const kOverwrittenLabel = QT_TRANSLATE_NOOP("PatchListModel", "被前项覆盖");
const char* const kOverwrittenMeaning = QT_TRANSLATE_NOOP(
    "PatchListModel", "备份文件在此处是原数据，但前面的有效项目先写入了这些字节：保存会失败。");

// Rows whose target disagrees with their flag: a warm background over the
// whole row and dark text on it.
constexpr QRgb kAttentionBackground = 0xfffff0b3;
constexpr QRgb kAttentionText = 0xff202020;

const char16_t kAttentionMark[] = u"! ";
const char* const kOverlapMark = QT_TRANSLATE_NOOP("PatchListModel", " · 重叠");
// An item a relocation would move ("更多" > "重新定位...").
const char* const kRelocatableMark = QT_TRANSLATE_NOOP("PatchListModel", " · 可重新定位");
const char* const kRelocatableTip =
    QT_TRANSLATE_NOOP("PatchListModel", "\"重新定位...\" 会把它移到 %1, 它的特征码所在的位置.");
const char* const kEnabledNotApplied =
    QT_TRANSLATE_NOOP("PatchListModel", "此项目有效，但目标文件中没有应用。");
const char* const kDisabledButApplied =
    QT_TRANSLATE_NOOP("PatchListModel", "此项目无效，但目标文件中已经应用。");
const char* const kOverlapping =
    QT_TRANSLATE_NOOP("PatchListModel", "与前面的有效项目写入相同的字节，保存时以本项目为准。");
const char* const kTargetLine = QT_TRANSLATE_NOOP("PatchListModel", "目标:");
const char* const kBackupLine = QT_TRANSLATE_NOOP("PatchListModel", "备份:");
const char* const kNotRead = QT_TRANSLATE_NOOP("PatchListModel", "(无)");

// One row of the tooltip's table: what was found in one file, in lines of 16
// bytes that never wrap, in a fixed-pitch font so that the lines line up.
QString HexRow(const char* title, const std::string& hex) {
    QString row = QStringLiteral("<tr><td valign=\"top\" style=\"white-space:pre\">%1 </td>")
                      .arg(PatchListModel::tr(title));
    if (hex.empty())
        return row + QStringLiteral("<td>%1</td></tr>").arg(PatchListModel::tr(kNotRead));
    const QStringList pairs = QString::fromLatin1(hex).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList lines;
    for (qsizetype i = 0; i < pairs.size(); i += 16)
        lines << pairs.mid(i, 16).join(QLatin1Char(' ')).toHtmlEscaped();
    return row + QStringLiteral("<td style=\"white-space:pre; font-family:monospace\">%1</td></tr>")
                     .arg(lines.join(QStringLiteral("<br>")));
}

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

void PatchListModel::Freeze() {
    if (own_ || !list_)
        return;
    frozen_ = *list_;
    own_ = list_;
    list_ = &frozen_;
}

void PatchListModel::Thaw() {
    if (!own_)
        return;
    list_ = std::exchange(own_, nullptr);
    frozen_ = PatchList();
}

void PatchListModel::Reset(std::vector<ItemStatus> states) {
    beginResetModel();
    states_ = std::move(states);
    endResetModel();
}

void PatchListModel::SetStates(std::vector<ItemStatus> states) {
    states_ = std::move(states);
    const int rows = rowCount();
    // The attention mark colours whole rows.
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, kColumnCount - 1));
}

void PatchListModel::SetRelocations(std::vector<ItemRelocation> plan) {
    relocations_ = std::move(plan);
}

const ItemRelocation* PatchListModel::MoveOf(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < relocations_.size() &&
                   relocations_[static_cast<std::size_t>(row)].kind == RelocationKind::Moves
               ? &relocations_[static_cast<std::size_t>(row)]
               : nullptr;
}

const ItemStatus* PatchListModel::StatusOf(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < states_.size()
               ? &states_[static_cast<std::size_t>(row)]
               : nullptr;
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

namespace {

bool ShowsOverwritten(const ItemStatus& status) {
    return status.state == ItemState::BackupMismatch && status.oldOverwritten;
}

} // namespace

QString PatchListModel::StateText(const ItemStatus& status) {
    QString text = tr(ShowsOverwritten(status) ? kOverwrittenLabel : LookOf(status.state).label);
    if (status.attention)
        text.prepend(QString::fromUtf16(kAttentionMark));
    if (status.overlapping)
        text += tr(kOverlapMark);
    return text;
}

QString PatchListModel::StateToolTip(const ItemStatus& status) {
    QStringList lines{
        tr(ShowsOverwritten(status) ? kOverwrittenMeaning : LookOf(status.state).meaning)};
    if (status.attention) {
        // Attention means the target disagrees with the flag: applied while
        // disabled, anything else while enabled.
        lines << tr(status.state == ItemState::Applied ? kDisabledButApplied : kEnabledNotApplied);
    }
    if (status.overlapping)
        lines << tr(kOverlapping);
    return QStringLiteral("<qt>%1<table cellspacing=\"0\" cellpadding=\"1\">%2%3</table></qt>")
        .arg(lines.join(QStringLiteral("<br>")), HexRow(kTargetLine, status.targetHex),
             HexRow(kBackupLine, status.backupHex));
}

std::vector<ItemStatus> PatchListModel::EveryStateLook() {
    std::vector<ItemStatus> looks;
    for (int state = 0; state <= static_cast<int>(ItemState::Unknown); ++state) {
        for (int variant = 0; variant < 4; ++variant) {
            ItemStatus status;
            status.state = static_cast<ItemState>(state);
            status.attention = status.state != ItemState::Unknown;
            status.overlapping = (variant & 1) != 0;
            status.oldOverwritten = (variant & 2) != 0;
            if (status.oldOverwritten && status.state != ItemState::BackupMismatch)
                continue;
            looks.push_back(status);
        }
    }
    return looks;
}

QString PatchListModel::ColumnTitle(int column) {
    return IsColumn(column) ? tr(kColumns[column].title) : QString();
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
    const ItemStatus* status = StatusOf(index.row());
    const bool stateCell = index.column() == StateColumn;
    switch (role) {
    case Qt::DisplayRole:
        if (stateCell)
            return status ? StateText(*status) +
                                (MoveOf(index.row()) ? tr(kRelocatableMark) : QString())
                          : QString();
        return CellText(item, index.column());
    case Qt::TextAlignmentRole:
        return static_cast<int>(ColumnAlignment(index.column()) | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (!stateCell || !status)
            return QVariant();
        if (const ItemRelocation* move = MoveOf(index.row()))
            return StateToolTip(*status).replace(
                QStringLiteral("<qt>"),
                QStringLiteral("<qt>") +
                    tr(kRelocatableTip).arg(move->newOffset, 8, 16, QLatin1Char('0')) +
                    QStringLiteral("<br>"));
        return StateToolTip(*status);
    case Qt::FontRole: {
        // The state of a row that needs attention stands out in bold.
        if (!stateCell || !status || !status->attention)
            return QVariant();
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    case Qt::ForegroundRole:
    case Qt::BackgroundRole: {
        if (!status)
            return QVariant();
        const StateLook& look = LookOf(status->state);
        QRgb text = 0;
        QRgb background = 0;
        if (status->attention) {
            text = kAttentionText;
            background = kAttentionBackground;
        }
        if (stateCell) {
            text = look.text;
            if (look.background)
                background = look.background;
        }
        const QRgb colour = role == Qt::ForegroundRole ? text : background;
        return colour ? QVariant(QBrush(QColor::fromRgb(colour))) : QVariant();
    }
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
