#include "app/BytemenderDlg.h"

#include "app/AboutDlg.h"
#include "app/ListColumns.h"
#include "app/PatchListModel.h"
#include "core/PatchListStore.h"
#include "editor/LongStep.h"
#include "winutil/CodePage.h"
#include "winutil/DlgUtil.h"
#include "winutil/Translate.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTableView>
#include <QToolButton>

#include <algorithm>
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

// The window's menu button and its About entry.
const char* const kMoreButtonText = QT_TRANSLATE_NOOP("CBytemenderDlg", "更多");
const char* const kAboutMenuText = QT_TRANSLATE_NOOP("CBytemenderDlg", "关于 Bytemender(&A)...");
const char* const kRelocateMenuText = QT_TRANSLATE_NOOP("CBytemenderDlg", "重新定位(&R)...");

// The state column's room: the target path field and the list are this many
// dialog units wider than in the five-column layout, and the buttons and the
// window's right edge move as far, so that all six columns show at once.
constexpr int kStateColumnUnits = 70;
// The status line under the list and the buttons: the window is this many
// dialog units taller than the template.
constexpr int kStatusLineUnits = 10;
// The settings file's key for the list's column widths (app/ListColumns.h).
constexpr const char* kColumnWidthsKey = "ColumnWidths";

struct ButtonTemplate {
    int id;
    const char* caption;
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

// How a control follows the window when it is resized.
enum class Anchor {
    Right,       // keeps its size, its distance to the right edge and its height
    BottomRight, // keeps its size and its distances to the right and bottom edges
    Wide,        // takes the width the window gains
    WideAndTall, // takes the width and the height the window gains
    BottomWide,  // takes the width the window gains, keeps its distance to the bottom
};

struct CBytemenderDlg::Placement {
    QWidget* control;
    QRect rect; // at the default size
    Anchor anchor;
};

// The window's controls at their dialog-unit rectangles, created in tab order.
// The buttons' x coordinates below are those of the five-column layout.
void CBytemenderDlg::CreateControls() {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Bytemender"));

    QFont font;
    GetMessageFont(&font);
    auto place = [&](QWidget* control, int x, int y, int w, int h, Anchor anchor) {
        const QRect rect = DialogUnitsToPixels(font, x, y, w, h);
        control->setGeometry(rect);
        placements.push_back({control, rect, anchor});
    };
    // The right-hand column: buttons, the frame and the menu button. The
    // three buttons under the frame stay at the bottom edge.
    auto placeRight = [&](QWidget* control, int x, int y, int w, int h) {
        place(control, x + kStateColumnUnits, y, w, h,
              y > 240 ? Anchor::BottomRight : Anchor::Right);
    };

    // The frame first so that it stays beneath the buttons it surrounds.
    auto* frame = new QGroupBox(this);
    frame->setFocusPolicy(Qt::NoFocus);
    placeRight(frame, 394, 117, 50, 121);

    static const ButtonTemplate kTabOrderedButtons[] = {
        {IDOK_, QT_TRANSLATE_NOOP("CBytemenderDlg", "有效/无效"), 394, 266, 50, 16},
        {IDCANCEL_, QT_TRANSLATE_NOOP("CBytemenderDlg", "全无效"), 394, 248, 50, 16},
    };
    std::vector<QWidget*> tabOrder;
    for (const ButtonTemplate& b : kTabOrderedButtons) {
        auto* button = new QPushButton(tr(b.caption), this);
        SetControlId(button, b.id);
        placeRight(button, b.x, b.y, b.width, b.height);
        tabOrder.push_back(button);
    }

    auto* target = new QLineEdit(this);
    SetControlId(target, IDC_TARGET);
    target->setReadOnly(true);
    place(target, 7, 7, 382 + kStateColumnUnits, 14, Anchor::Wide);
    tabOrder.push_back(target);

    listView = new QTableView(this);
    SetControlId(listView, IDC_LIST);
    model = new PatchListModel(&patchList, this);
    listView->setModel(model);
    place(listView, 7, 25, 382 + kStateColumnUnits, 273, Anchor::WideAndTall);
    tabOrder.push_back(listView);

    static const ButtonTemplate kCommandButtons[] = {
        {IDC_SAVE, QT_TRANSLATE_NOOP("CBytemenderDlg", "保存"), 394, 284, 50, 14},
        {IDC_EDIT, QT_TRANSLATE_NOOP("CBytemenderDlg", "编辑"), 394, 24, 50, 14},
        {IDC_ADD, QT_TRANSLATE_NOOP("CBytemenderDlg", "增加"), 394, 41, 50, 14},
        {IDC_DELETE, QT_TRANSLATE_NOOP("CBytemenderDlg", "删除"), 394, 75, 50, 14},
        {IDC_FILE, QT_TRANSLATE_NOOP("CBytemenderDlg", "文件"), 394, 7, 50, 14},
        {IDC_COPY, QT_TRANSLATE_NOOP("CBytemenderDlg", "复制"), 394, 58, 50, 14},
    };
    for (const ButtonTemplate& b : kCommandButtons) {
        auto* button = new QPushButton(tr(b.caption), this);
        SetControlId(button, b.id);
        placeRight(button, b.x, b.y, b.width, b.height);
        tabOrder.push_back(button);
    }

    // The window's menu, in the free room below the command buttons. Desktops
    // give a dialog no system menu of its own; the same entries show in the
    // context menu (right click on the window).
    auto* more = new QToolButton(this);
    SetControlId(more, IDC_MORE);
    more->setText(tr(kMoreButtonText));
    more->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The arrow part at the right says that the button opens a menu; a click
    // anywhere on it opens the menu.
    more->setPopupMode(QToolButton::MenuButtonPopup);
    connect(more, &QToolButton::clicked, more, &QToolButton::showMenu);
    windowMenu = new QMenu(more);
    more->setMenu(windowMenu);
    placeRight(more, 394, 96, 50, 14);
    tabOrder.push_back(more);

    // The status line: under the list, as wide as the window's contents.
    statusLine = new QLabel(this);
    statusLine->setTextFormat(Qt::PlainText);
    statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLine->setFocusPolicy(Qt::NoFocus);
    statusLine->setContentsMargins(4, 0, 4, 0);
    place(statusLine, 7, 301, 437 + kStateColumnUnits, kStatusLineUnits, Anchor::BottomWide);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    Button(IDOK_)->setDefault(true);

    // The template's size is the default and the smallest; the window may
    // grow and be maximised.
    defaultSize =
        DialogUnitsToPixels(font, 0, 0, 451 + kStateColumnUnits, 305 + kStatusLineUnits).size();
    setMinimumSize(defaultSize);
    resize(defaultSize);
}

QAction* CBytemenderDlg::AddMenuEntry(const QString& text, void (CBytemenderDlg::*handler)(),
                                      const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    addAction(action); // the context menu, and the shortcut anywhere in the window
    windowMenu->addAction(action);
    return action;
}

void CBytemenderDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOutControls();
}

void CBytemenderDlg::LayOutControls() {
    // Never less than the default layout, even while a window manager
    // briefly gives the window less than its minimum.
    const int dx = std::max(0, width() - defaultSize.width());
    const int dy = std::max(0, height() - defaultSize.height());
    for (const Placement& p : placements) {
        QRect rect = p.rect;
        switch (p.anchor) {
        case Anchor::Right:
            rect.translate(dx, 0);
            break;
        case Anchor::BottomRight:
            rect.translate(dx, dy);
            break;
        case Anchor::WideAndTall:
            rect.setHeight(rect.height() + dy);
            [[fallthrough]];
        case Anchor::Wide:
            rect.setWidth(rect.width() + dx);
            break;
        case Anchor::BottomWide:
            rect.translate(0, dy);
            rect.setWidth(rect.width() + dx);
            break;
        }
        p.control->setGeometry(rect);
    }
    if (statusLine)
        UpdateStatusLine(); // cut to the new width
}

// Signals to handlers, in the order of the window's message table; the
// window's menu entries, in menu order.
void CBytemenderDlg::ConnectMessageTable() {
    AddMenuEntry(tr(kRelocateMenuText), &CBytemenderDlg::OnRelocate, {});
    AddExchangeActions();
    aboutAction =
        AddMenuEntry(tr(kAboutMenuText), &CBytemenderDlg::OnAbout, QKeySequence::HelpContents);

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
    // The selection stays visible in the same colours when the list has no
    // focus.
    QPalette palette = listView->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    listView->setPalette(palette);

    const QFont font = ApplyDialogFont(this);
    listView->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
    listView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The description takes the room the other columns leave; widths the
    // user drags are kept in the settings file.
    columns = new ListColumns(listView, [this](const QString& widths) {
        if (!SavingOff())
            session.SaveWindowSetting(kColumnWidthsKey, widths.toStdString());
    });
    columns->Restore(QString::fromStdString(session.WindowSetting(kColumnWidthsKey)));

    // A new backup copy the list cannot be rebuilt from replaces the old one
    // only when the user says so.
    session.SetReplaceBackupAnyway([this](const std::string& text) {
        return OnWindowThread(
            this, [&] { return prompts->AskReplaceBackup(this, NarrowToQString(text)); });
    });
    // Items a new backup copy of an updated target no longer holds move to
    // where their signatures are, once the user saw the moves.
    session.SetConfirmBackupRelocation(
        [this](const PatchList& items, const std::vector<ItemRelocation>& plan, bool complete) {
            return prompts->ConfirmBackupRelocation(this, items, plan, complete);
        });
    listWatcher = new QFileSystemWatcher(this);
    connect(listWatcher, &QFileSystemWatcher::fileChanged, this, &CBytemenderDlg::FollowListFile);
    WatchListFile();

    UpdateTitle();
    RefreshList();
    // A list that exists but could not be read is never overwritten with the
    // empty one shown now; the user hears of it once the window shows, and
    // the status line keeps saying it. A damaged one shows what could be
    // recovered; it is saved over only when the user keeps that.
    unreadableTold =
        opened != SettingsFileState::Unreadable && opened != SettingsFileState::Damaged;
    UpdateStatusLine();
}

void CBytemenderDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (unreadableTold)
        return;
    unreadableTold = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (session.FileState() == SettingsFileState::Damaged) {
                if (prompts->AskKeepRecovered(this, NarrowToQString(session.DamagedText())))
                    session.KeepRecovered();
                UpdateStatusLine();
                return;
            }
            prompts->ShowMessage(this, NarrowToQString(session.UnreadableText()),
                                 NarrowToQString(Translate("PatchSession", "错误")));
        },
        Qt::QueuedConnection);
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
    std::vector<ItemStatus> states = ComputeItemStates(backupPath, targetPath, patchList);
    ShowRelocations(states);
    return states;
}

void CBytemenderDlg::ShowRelocations(const std::vector<ItemStatus>& states) {
    // Only items the backup no longer holds can move: without them the
    // backup is not read again.
    std::vector<ItemRelocation> plan;
    for (const ItemStatus& status : states) {
        if (status.state == ItemState::BackupMismatch || status.state == ItemState::OutOfRange) {
            session.PlanRelocation(&plan);
            break;
        }
    }
    model->SetRelocations(std::move(plan));
}

bool CBytemenderDlg::event(QEvent* event) {
    // While a step runs, the list and the files are the step's.
    if (event->type() == QEvent::WindowActivate && !LongStepRunning(this)) {
        FollowListFile();
        if (FilesChanged()) {
            std::vector<ItemStatus> states = ComputeItemStates(backupPath, targetPath, patchList);
            ShowRelocations(states);
            model->SetStates(std::move(states));
        }
    }
    return QDialog::event(event);
}

void CBytemenderDlg::FollowListFile() {
    if (LongStepRunning(this))
        return; // the step's own saves; the list is shown again after it
    WatchListFile();
    // The watcher tells of a save while its program still holds the list;
    // it lets go right after.
    if (!session.Refresh(std::chrono::milliseconds(500)))
        return;
    AfterListRead();
    RefreshList();
}

bool CBytemenderDlg::RunStep(const QString& text, const std::function<void()>& step) {
    model->Freeze();
    const bool finished = RunLongStep(this, text, step);
    model->Thaw();
    // A step that ended all the same says so in its own outcome, after this.
    if (!finished)
        ShowStatus(tr("已取消, 所有文件保持原样"));
    return finished;
}

void CBytemenderDlg::AfterListRead() {
    listReread = session.TakeReread();
    UpdateTitle();
    WatchListFile();
}

void CBytemenderDlg::WatchListFile() {
    const QString path = NarrowToQString(session.SettingsFilePath());
    if (listWatcher && !path.isEmpty() && !listWatcher->files().contains(path) &&
        QFileInfo::exists(path))
        listWatcher->addPath(path);
}

void CBytemenderDlg::LoadPatchList() {
    session.LoadList();
    UpdateTitle();
}

bool CBytemenderDlg::SavePatchList() {
    return session.SaveList().ok();
}

void CBytemenderDlg::UpdateTitle() {
    QString title = NarrowToQString(MakeWindowTitle(targetPath));
    if (listReread)
        title += QStringLiteral(" - ") + tr("列表已被另一个程序更改, 已重新读取");
    setWindowTitle(title);
}

void CBytemenderDlg::OnAbout() {
    DataLocations places;
    places.settingsFile = session.SettingsFilePath();
    places.backupFolder = session.HomeDir() + "/Path_bak";
    places.portable = session.Portable();
    CAboutDlg about(places, this);
    prompts->RunAboutBox(about);
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
