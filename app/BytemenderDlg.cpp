#include "app/BytemenderDlg.h"

#include "app/AboutDlg.h"
#include "app/PatchListModel.h"
#include "app/PatchListStore.h"
#include "winutil/CodePage.h"
#include "winutil/DlgUtil.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>

#include <vector>

static void InitBytemenderResources() {
    Q_INIT_RESOURCE(bytemender);
}

QIcon BytemenderIcon() {
    static const QIcon icon = [] {
        InitBytemenderResources();
        QIcon made;
        for (int size : {16, 32, 48})
            made.addFile(QStringLiteral(":/bytemender/bytemender-%1.png").arg(size),
                         QSize(size, size));
        return made;
    }();
    return icon;
}

namespace {

// The window menu's About entry.
const char16_t kAboutMenuText[] = u"关于 Bytemender(&A)...";

// The state column's room: the target path field and the list are this many
// dialog units wider than in the five-column layout, and the buttons and the
// window's right edge move as far, so that all six columns show at once.
constexpr int kStateColumnUnits = 56;

struct ButtonTemplate {
    int id;
    const char16_t* caption;
    int x, y, width, height;
};

} // namespace

CBytemenderDlg::CBytemenderDlg(IUserPrompts* injected, QWidget* parent)
    : QDialog(parent), icon(BytemenderIcon()) {
    if (injected) {
        prompts = injected;
    } else {
        ownedPrompts = std::make_unique<QtUserPrompts>();
        prompts = ownedPrompts.get();
    }
    CreateControls();
    ConnectMessageTable();
    OnInitDialog();
}

CBytemenderDlg::~CBytemenderDlg() = default;

QPushButton* CBytemenderDlg::Button(int id) const {
    return qobject_cast<QPushButton*>(GetDlgItem(const_cast<CBytemenderDlg*>(this), id));
}

// The window's controls at their dialog-unit rectangles, created in tab order.
// The buttons' x coordinates below are those of the five-column layout.
void CBytemenderDlg::CreateControls() {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Bytemender"));

    QFont font;
    GetMessageFont(&font);
    auto place = [&font](QWidget* control, int x, int y, int w, int h) {
        control->setGeometry(DialogUnitsToPixels(font, x, y, w, h));
    };

    // The frame first so that it stays beneath the buttons it surrounds.
    auto* frame = new QGroupBox(this);
    frame->setFocusPolicy(Qt::NoFocus);
    place(frame, 394 + kStateColumnUnits, 117, 50, 121);

    static const ButtonTemplate kTabOrderedButtons[] = {
        {IDOK_, u"有效/无效", 394, 266, 50, 16},
        {IDCANCEL_, u"全无效", 394, 248, 50, 16},
    };
    std::vector<QWidget*> tabOrder;
    for (const ButtonTemplate& b : kTabOrderedButtons) {
        auto* button = new QPushButton(QString::fromUtf16(b.caption), this);
        SetControlId(button, b.id);
        place(button, b.x + kStateColumnUnits, b.y, b.width, b.height);
        tabOrder.push_back(button);
    }

    auto* target = new QLineEdit(this);
    SetControlId(target, IDC_TARGET);
    target->setReadOnly(true);
    place(target, 7, 7, 382 + kStateColumnUnits, 14);
    tabOrder.push_back(target);

    listView = new QTableView(this);
    SetControlId(listView, IDC_LIST);
    model = new PatchListModel(&patchList, this);
    listView->setModel(model);
    place(listView, 7, 25, 382 + kStateColumnUnits, 273);
    tabOrder.push_back(listView);

    static const ButtonTemplate kCommandButtons[] = {
        {IDC_SAVE, u"保存", 394, 284, 50, 14}, {IDC_EDIT, u"编辑", 394, 24, 50, 14},
        {IDC_ADD, u"增加", 394, 41, 50, 14},   {IDC_DELETE, u"删除", 394, 75, 50, 14},
        {IDC_FILE, u"文件", 394, 7, 50, 14},   {IDC_COPY, u"复制", 394, 58, 50, 14},
    };
    for (const ButtonTemplate& b : kCommandButtons) {
        auto* button = new QPushButton(QString::fromUtf16(b.caption), this);
        SetControlId(button, b.id);
        place(button, b.x + kStateColumnUnits, b.y, b.width, b.height);
        tabOrder.push_back(button);
    }
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    Button(IDOK_)->setDefault(true);

    setFixedSize(DialogUnitsToPixels(font, 0, 0, 451 + kStateColumnUnits, 305).size());

    // Desktops give a dialog no system menu of its own: the About entry sits
    // in the window's context menu (right click on the window).
    aboutAction = new QAction(QString::fromUtf16(kAboutMenuText), this);
    addAction(aboutAction);
    AddExchangeActions();
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

// Signals to handlers, in the order of the window's message table.
void CBytemenderDlg::ConnectMessageTable() {
    connect(aboutAction, &QAction::triggered, this, &CBytemenderDlg::OnAbout);
    auto onClick = [this](int id, void (CBytemenderDlg::*handler)()) {
        connect(Button(id), &QPushButton::clicked, this, handler);
    };
    onClick(IDC_EDIT, &CBytemenderDlg::OnEditItem);
    onClick(IDC_ADD, &CBytemenderDlg::OnAddItem);
    onClick(IDC_DELETE, &CBytemenderDlg::OnDeleteItem);
    onClick(IDCANCEL_, &CBytemenderDlg::OnDisableAll);
    onClick(IDOK_, &CBytemenderDlg::OnToggleSelected);
    onClick(IDC_SAVE, &CBytemenderDlg::ApplyPatches);
    connect(listView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CBytemenderDlg::OnListItemChanged);
    connect(listView, &QTableView::doubleClicked, this, &CBytemenderDlg::OnListDoubleClick);
    // The close box arrives as closeEvent -> OnClose.
    onClick(IDC_FILE, &CBytemenderDlg::ChooseTarget);
    onClick(IDC_COPY, &CBytemenderDlg::OnCopyItem);
}

bool CBytemenderDlg::OnInitDialog() {
    setWindowIcon(icon);
    InitListView();
    return true;
}

void CBytemenderDlg::InitListView() {
    // The settings file beside the executable, read with its line order and
    // saved with the keys sorted; the target path and the list come with it.
    const SettingsFileState opened = session.OpenDefault();

    // Report style: grid lines, whole rows selected, several at once.
    listView->setShowGrid(true);
    listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView->setWordWrap(false);
    listView->setTextElideMode(Qt::ElideRight);
    listView->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Tab and Shift+Tab leave the list for the next and previous control; the
    // arrow keys move within it.
    listView->setTabKeyNavigation(false);
    listView->verticalHeader()->hide();
    QHeaderView* header = listView->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < PatchListModel::kColumnCount; ++column)
        listView->setColumnWidth(column, PatchListModel::ColumnWidth(column));
    // The selection stays visible in the same colours when the list has no
    // focus.
    QPalette palette = listView->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    listView->setPalette(palette);

    const QFont font = ApplyDialogFont(this);
    listView->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
    listView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    UpdateTitle();
    RefreshList();
    // A list that exists but could not be read is never overwritten with the
    // empty one shown now; the user hears of it once.
    if (opened == SettingsFileState::Unreadable)
        prompts->ShowMessage(this, NarrowToQString(session.UnreadableText()),
                             QStringLiteral("错误"));
}

void CBytemenderDlg::RefreshList() {
    SetDlgItemTextIfChanged(this, IDC_TARGET, targetPath.c_str());

    std::vector<int> rows;
    GetSelectedRows(listView, &rows);

    model->Reset(ComputeStates());

    // Rows selected before stay selected by number; runs of neighbouring rows
    // go in as one range, and the view repaints once instead of once per range,
    // so that large selections stay cheap.
    const int count = model->rowCount();
    QItemSelection selection;
    std::size_t i = 0;
    while (i < rows.size() && rows[i] < count) {
        const int first = rows[i];
        int last = first;
        while (i + 1 < rows.size() && rows[i + 1] == last + 1 && rows[i + 1] < count) {
            ++i;
            ++last;
        }
        ++i;
        selection.select(model->index(first, 0),
                         model->index(last, PatchListModel::kColumnCount - 1));
    }
    if (!selection.isEmpty()) {
        const QSignalBlocker quiet(listView->selectionModel());
        listView->selectionModel()->select(selection, QItemSelectionModel::Select);
    }
    listView->viewport()->update();
}

bool CBytemenderDlg::FilesChanged() {
    // Both stamps are brought up to date, whatever the first one says.
    const bool target = HasFileChanged(CodePageToWide(targetPath).c_str(), &targetStamp);
    const bool backup = HasFileChanged(CodePageToWide(backupPath).c_str(), &backupStamp);
    return target || backup;
}

std::vector<ItemStatus> CBytemenderDlg::ComputeStates() {
    // The stamps are taken first: a change made while the states are read is
    // seen at the next activation.
    FilesChanged();
    return ComputeItemStates(backupPath, targetPath, patchList);
}

bool CBytemenderDlg::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && FilesChanged())
        model->SetStates(ComputeItemStates(backupPath, targetPath, patchList));
    return QDialog::event(event);
}

void CBytemenderDlg::LoadPatchList() {
    session.LoadList();
    UpdateTitle();
}

bool CBytemenderDlg::SavePatchList() {
    return session.SaveList().ok();
}

void CBytemenderDlg::UpdateTitle() {
    setWindowTitle(NarrowToQString(MakeWindowTitle(targetPath)));
}

void CBytemenderDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CBytemenderDlg::OnClose() {
    done(IDCANCEL_);
}

void CBytemenderDlg::accept() {}

void CBytemenderDlg::reject() {}

void CBytemenderDlg::closeEvent(QCloseEvent* event) {
    OnClose();
    event->accept();
}

// Escape presses "全无效"; Enter presses the focused push button (which
// handles the key itself) or else the default button "有效/无效".
void CBytemenderDlg::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Escape:
            Button(IDCANCEL_)->click();
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            auto* focused = qobject_cast<QPushButton*>(focusWidget());
            QPushButton* target =
                focused && focused->isVisible() && focused->isEnabled() ? focused : Button(IDOK_);
            target->click();
            event->accept();
            return;
        }
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}
