#include "editor/ItemEditDlg.h"

#include "editor/LongStep.h"
#include "engine/PatternSearch.h"
#include "winutil/DlgUtil.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdio>

namespace {

// Template 129, in dialog units.
constexpr int kDialogWidthDu = 355;
constexpr int kDialogHeightDu = 100;

struct ControlRect {
    int x, y, width, height;
};

constexpr ControlRect kOkRect{298, 44, 50, 14};
constexpr ControlRect kCancelRect{298, 61, 50, 14};
constexpr ControlRect kOffsetLabelRect{7, 10, 31, 8};
constexpr ControlRect kOffsetRect{43, 7, 250, 14};
constexpr ControlRect kDescriptionLabelRect{7, 28, 31, 8};
constexpr ControlRect kDescriptionRect{43, 25, 250, 14};
constexpr ControlRect kOldDataLabelRect{7, 45, 31, 8};
constexpr ControlRect kOldDataRect{43, 43, 250, 14};
constexpr ControlRect kNewDataLabelRect{7, 65, 31, 8};
constexpr ControlRect kNewDataRect{43, 62, 250, 14};
constexpr ControlRect kSearchRect{298, 7, 50, 14};
constexpr ControlRect kSignatureLabelRect{7, 83, 31, 8};
constexpr ControlRect kSignatureRect{43, 80, 305, 14};

QLineEdit* MakeEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    SetControlId(edit, id);
    // Any text is accepted; the box scrolls horizontally as it fills.
    edit->setMaxLength(32767);
    return edit;
}

int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The offset box's text: at most kEditorTextCapacity - 1 bytes.
std::string ReadBox(QWidget* dialog, int id) {
    return CutNarrowText(GetDlgItemTextNarrow(dialog, id), kEditorTextCapacity - 1);
}

} // namespace

std::uint32_t ParseOffsetText(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // "0x" counts as a prefix only when a digit follows it; otherwise the "0"
    // alone is the number.
    if (i + 2 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        HexDigitValue(static_cast<unsigned char>(text[i + 2])) >= 0)
        i += 2;
    std::uint64_t value = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        const int digit = HexDigitValue(static_cast<unsigned char>(text[i]));
        if (digit < 0)
            break;
        if (!overflow) {
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > 0xFFFFFFFFull)
                overflow = true;
        }
    }
    if (overflow)
        return 0xFFFFFFFFu;
    const auto result = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

std::string CutNarrowText(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t cut = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the
    // sequence that the cut would split; at most three steps for UTF-8.
    std::size_t steps = 0;
    while (cut > 0 && steps < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
        ++steps;
    }
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        cut = maxBytes; // not UTF-8 after all: plain byte cut
    return std::string(text.substr(0, cut));
}

CItemEditDlg::CItemEditDlg(QWidget* parent) : QDialog(parent) {
    // Popup with caption, system menu and modal frame: no resizing, no help.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(tr("修改条目"));
    setModal(true);
    CreateControls();
    LayoutControls(ApplyDialogFont(this));
    MessageMap();
}

CItemEditDlg::~CItemEditDlg() = default;

void CItemEditDlg::CreateControls() {
    // Template order, which is also the tab order.
    okButton_ = new QPushButton(tr("确定"), this);
    SetControlId(okButton_, IDOK_);
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(tr("取消"), this);
    SetControlId(cancelButton_, IDCANCEL_);
    offsetLabel_ = new QLabel(tr("文件偏移:"), this);
    offsetEdit_ = MakeEdit(this, IDC_OFFSET);
    descriptionLabel_ = new QLabel(tr("描述信息:"), this);
    descriptionEdit_ = MakeEdit(this, IDC_DESCRIPTION);
    oldDataLabel_ = new QLabel(tr("原始数据:"), this);
    oldDataEdit_ = MakeEdit(this, IDC_OLDDATA);
    newDataLabel_ = new QLabel(tr("修改数据:"), this);
    newDataEdit_ = MakeEdit(this, IDC_NEWDATA);
    searchButton_ = new QPushButton(tr("搜索数据"), this);
    SetControlId(searchButton_, IDC_SEARCH);
    // The signature is made from the backup when the list is saved; it can
    // be selected and copied (for a search), not typed over.
    signatureLabel_ = new QLabel(tr("特征码:"), this);
    signatureEdit_ = MakeEdit(this, IDC_SIGNATURE);
    signatureEdit_->setReadOnly(true);
    signatureEdit_->setPlaceholderText(tr("保存列表时由备份文件生成"));

    for (QPushButton* button : {okButton_, cancelButton_, searchButton_}) {
        button->setFocusPolicy(Qt::StrongFocus);
        button->setAutoDefault(true);
    }
    setTabOrder(okButton_, cancelButton_);
    setTabOrder(cancelButton_, offsetEdit_);
    setTabOrder(offsetEdit_, descriptionEdit_);
    setTabOrder(descriptionEdit_, oldDataEdit_);
    setTabOrder(oldDataEdit_, newDataEdit_);
    setTabOrder(newDataEdit_, searchButton_);
    setTabOrder(searchButton_, signatureEdit_);
}

void CItemEditDlg::LayoutControls(const QFont& font) {
    // A label that needs more room than the template gives it (a longer
    // translation) widens the label column: the boxes, the buttons and the
    // dialog move right by as much, so that no label is cut.
    const QFontMetrics metrics(font);
    const int labelWidth = DialogUnitsToPixels(font, 0, 0, kOffsetLabelRect.width, 8).width();
    int extra = 0;
    for (const QLabel* label : {offsetLabel_, descriptionLabel_, oldDataLabel_, newDataLabel_})
        extra = std::max(extra, metrics.horizontalAdvance(label->text()) + 2 - labelWidth);
    const auto place = [&](QWidget* control, const ControlRect& r, bool label) {
        QRect rect = DialogUnitsToPixels(font, r.x, r.y, r.width, r.height);
        if (label)
            rect.setWidth(rect.width() + extra);
        else
            rect.translate(extra, 0);
        control->setGeometry(rect);
    };
    setFixedSize(DialogUnitsToPixels(font, 0, 0, kDialogWidthDu, kDialogHeightDu).size() +
                 QSize(extra, 0));
    place(okButton_, kOkRect, false);
    place(cancelButton_, kCancelRect, false);
    place(offsetLabel_, kOffsetLabelRect, true);
    place(offsetEdit_, kOffsetRect, false);
    place(descriptionLabel_, kDescriptionLabelRect, true);
    place(descriptionEdit_, kDescriptionRect, false);
    place(oldDataLabel_, kOldDataLabelRect, true);
    place(oldDataEdit_, kOldDataRect, false);
    place(newDataLabel_, kNewDataLabelRect, true);
    place(newDataEdit_, kNewDataRect, false);
    place(searchButton_, kSearchRect, false);
    place(signatureLabel_, kSignatureLabelRect, true);
    place(signatureEdit_, kSignatureRect, false);
}

// The dialog's message table. Enter reaches OnAccept through the default
// button "确定" (QDialog clicks it unless another push button has the focus);
// Escape and the close box reach reject().
void CItemEditDlg::MessageMap() {
    connect(okButton_, &QPushButton::clicked, this, &CItemEditDlg::OnAccept);
    connect(searchButton_, &QPushButton::clicked, this, &CItemEditDlg::OnSearchData);
    connect(cancelButton_, &QPushButton::clicked, this, &CItemEditDlg::reject);
}

bool CItemEditDlg::SetBackupPath(const std::string& path) {
    if (path.size() >= kEditorBackupPathCapacity) {
        backupPath.clear();
        return false;
    }
    backupPath = path;
    return true;
}

void CItemEditDlg::setVisible(bool visible) {
    // Each run of the dialog starts like a freshly created one.
    if (visible && !isVisible())
        OnInitDialog();
    QDialog::setVisible(visible);
}

bool CItemEditDlg::OnInitDialog() {
    QString title;
    if (isModify != 0 && item != nullptr) {
        char offsetText[16];
        std::snprintf(offsetText, sizeof offsetText, "%08x", static_cast<unsigned>(item->offset));
        std::u16string wide(offsetText, offsetText + std::char_traits<char>::length(offsetText));
        SetDlgItemTextIfChangedW(this, IDC_OFFSET, wide.c_str());
        SetDlgItemTextIfChanged(this, IDC_DESCRIPTION, item->description.c_str());
        SetDlgItemTextIfChanged(this, IDC_OLDDATA, item->oldHex.c_str());
        SetDlgItemTextIfChanged(this, IDC_NEWDATA, item->newHex.c_str());
        SetDlgItemTextIfChanged(this, IDC_SIGNATURE, item->signature.c_str());
        signatureEdit_->setToolTip(item->signature.empty()
                                       ? QString()
                                       : tr("特征码中项目之前有 %1 个字节").arg(item->signatureAt));
        title = tr("修改项目");
    } else {
        for (int id : {IDC_OFFSET, IDC_DESCRIPTION, IDC_OLDDATA, IDC_NEWDATA})
            SetDlgItemTextIfChanged(this, id, "");
        title = isModify != 0 ? tr("修改项目") : tr("增加项目");
    }
    setWindowTitle(title);
    LayoutControls(ApplyDialogFont(this));
    okButton_->setFocus(Qt::OtherFocusReason);
    return true;
}

void CItemEditDlg::accept() {
    OnAccept();
}

void CItemEditDlg::reject() {
    done(kResultCancel);
}

void CItemEditDlg::OnAccept() {
    // The boxes are written into the record even when the confirmation is
    // then refused for a missing text; a later cancel does not undo that.
    // A text too long for the item is refused before anything is written.
    const std::uint32_t offset = ParseOffsetText(ReadBox(this, IDC_OFFSET));
    std::string description = GetDlgItemTextNarrow(this, IDC_DESCRIPTION);
    std::string oldHex = GetDlgItemTextNarrow(this, IDC_OLDDATA);
    std::string newHex = GetDlgItemTextNarrow(this, IDC_NEWDATA);
    QString tooLong;
    if (oldHex.size() > kMaxItemTextLength || newHex.size() > kMaxItemTextLength)
        tooLong = tr("数据太长: %1 有 %2 个字符, 最多 %3 个 (%4 字节的数据).")
                      .arg(oldHex.size() > kMaxItemTextLength ? tr("原始数据") : tr("修改数据"))
                      .arg(std::max(oldHex.size(), newHex.size()))
                      .arg(kMaxItemTextLength)
                      .arg(kMaxItemBytes);
    else if (description.size() > kMaxDescriptionLength)
        tooLong = tr("描述信息太长: %1 字节, 最多 %2 字节.")
                      .arg(description.size())
                      .arg(kMaxDescriptionLength);
    if (!tooLong.isEmpty()) {
        if (showMessage)
            showMessage(tooLong, tr("错误"));
        return;
    }
    const bool complete = !oldHex.empty() && !newHex.empty();
    if (item != nullptr) {
        item->offset = offset;
        item->description = std::move(description);
        item->oldHex = std::move(oldHex);
        item->newHex = std::move(newHex);
    }
    if (complete)
        done(kResultOk);
}

void CItemEditDlg::OnSearchData() {
    const std::string oldText = ReadBox(this, IDC_OLDDATA);
    // A large backup takes a while: the search runs off the dialog's thread,
    // and a cancelled one leaves the offset box as it was.
    std::string result;
    const bool finished = RunLongStep(this, tr("正在搜索备份文件..."), [&] {
        result = SearchBackupForPattern(backupPath, oldText);
    });
    if (finished && !result.empty())
        SetDlgItemTextIfChanged(this, IDC_OFFSET, result.c_str());
}
