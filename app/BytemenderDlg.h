// CBytemenderDlg: the main window. It owns the patch list, the target path,
// the backup path, the settings store and the list view for the life of the
// program; closing it ends the program.
#pragma once

#include "app/UserPrompts.h"
#include "core/PatchSession.h"
#include "engine/ItemState.h"
#include "engine/PatchItem.h"
#include "settings/AppSetting.h"
#include "winutil/FileUtil.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QFileSystemWatcher;
class QCloseEvent;
class QKeyEvent;
class QKeySequence;
class QLabel;
class QMenu;
class QPushButton;
class QResizeEvent;
class QShowEvent;
class QTableView;
class PatchListModel;
class ListColumns;

class CBytemenderDlg : public QDialog {
    Q_OBJECT
  public:
    // Control ids of the window.
    enum : int {
        IDOK_ = 1,     // "有效/无效", the default button (Enter)
        IDCANCEL_ = 2, // "全无效" (Escape)
        IDC_TARGET = 1000,
        IDC_LIST = 1001,
        IDC_SAVE = 1002,
        IDC_EDIT = 1003,
        IDC_ADD = 1004,
        IDC_DELETE = 1005,
        IDC_FILE = 1006,
        IDC_COPY = 1007,
        IDC_MORE = 1008, // "更多": the window's menu
    };

    // Builds the window and runs OnInitDialog: the settings file beside the
    // executable is opened and the list loaded. prompts is not owned; null
    // means the real Qt dialogs, owned by the window.
    explicit CBytemenderDlg(IUserPrompts* prompts = nullptr, QWidget* parent = nullptr);
    ~CBytemenderDlg() override;

    // Target path field 1000 shows the target path; the list view is
    // refilled from the patch list, keeping the selected row numbers, with
    // each item's state as the backup and the target hold it now.
    void RefreshList();

    // Patch list <-> settings store, and the caption from the target path.
    // SavePatchList is true when the settings file was written; it shows
    // nothing (the commands tell the user).
    void LoadPatchList();
    bool SavePatchList();
    void UpdateTitle();

    // Main window commands.
    void OnEditItem();        // 1003 "编辑"
    void OnAddItem();         // 1004 "增加"
    void OnDeleteItem();      // 1005 "删除"
    void OnDisableAll();      // 2 "全无效", also Escape
    void OnToggleSelected();  // 1 "有效/无效", also Enter
    void ApplyPatches();      // 1002 "保存"
    void OnListItemChanged(); // selection or item of list view 1001 changed
    void OnListDoubleClick(); // double click in list view 1001
    void OnClose();           // the close box: the only way the window ends
    void ChooseTarget();      // 1006 "文件"
    void OnCopyItem();        // 1007 "复制"
    void OnAbout();           // the window menu's About entry, also F1
    void OnImport();          // "导入...": items from a patch file
    void OnExport();          // "导出...": the enabled items as a patch file
    void OnDiffFiles();       // "比较文件...": items from two files
    void OnRelocate();        // "重新定位...": items follow their signatures

    // Sets the backup path from the target path and creates the backup
    // folder beside the executable. Returns 1.
    int MakeBackupPath();

    // For tests and tools: the window's state and parts.
    PatchList& Items() { return patchList; }
    std::string& TargetPath() { return targetPath; }
    const std::string& BackupPath() const { return backupPath; }
    CAppSetting& Settings() { return settings; }
    PatchSession& Session() { return session; }
    QTableView* ListView() const { return listView; }
    PatchListModel* Model() const { return model; }
    QAction* AboutAction() const { return aboutAction; }
    // "导入...", "导出..." and "比较文件...", for every menu that offers them.
    const QList<QAction*>& ExchangeActions() const { return exchangeActions; }
    QPushButton* Button(int id) const;
    IUserPrompts& Prompts() { return *prompts; }
    ListColumns* Columns() const { return columns; }
    // The status line under the list: what the last command did, so that a
    // success needs no click; while the list cannot be saved, that it cannot
    // and the settings file's path, until the window closes.
    QLabel* StatusLine() const { return statusLine; }
    void ShowStatus(const QString& text);
    // Whether saving is off for this session: the settings file could not
    // be read.
    bool SavingOff() const;

  protected:
    // Activation looks again at the target and the backup: when either
    // changed on disk since the last look, the states are computed again.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The first showing tells of a settings file that could not be read, over
    // the window.
    void showEvent(QShowEvent* event) override;
    // The path field and the list take the room the window gains; the
    // buttons keep their distance to the right edge.
    void resizeEvent(QResizeEvent* event) override;

  public slots:
    // Buttons 1 and 2 and the Escape key never end the window.
    void accept() override;
    void reject() override;

  private:
    bool OnInitDialog();
    void InitListView();
    void CreateControls();
    void ConnectMessageTable();
    // An entry of the window's menu: under the "更多" button and in the
    // context menu, with an optional shortcut.
    QAction* AddMenuEntry(const QString& text, void (CBytemenderDlg::*handler)(),
                          const QKeySequence& shortcut);
    void LayOutControls();
    // Makes the exchange entries of the window's menu, before the About entry
    // (app/ExchangeCommands.cpp).
    void AddExchangeActions();
    // One change of the list as one step of the session (PatchSession::
    // Change): the file is read again under the list's lock, change runs on
    // that list (false: the item it looks for is gone), the list is saved and
    // shown again; every failure is told.
    void ChangeListAndRefresh(const std::function<bool(PatchList&)>& change);
    // Runs a step that may take long (a rebuild, a backup copy, an import, an
    // export, a comparison) off the window's thread (editor/LongStep.h),
    // the list view showing the list as it was meanwhile; the caller
    // refreshes the list right after. False when the user cancelled it.
    bool RunStep(const QString& text, const std::function<void()>& step);
    // After a step that may have read the file anew: the window follows
    // (title, the note that the list was read again).
    void AfterListRead();
    // Looks whether another program changed the settings file and shows the
    // list as the file holds it now (flags changed here stay as they are).
    void FollowListFile();
    // Watches the settings file (again: each save puts a new file in place).
    void WatchListFile();
    // Shows the outcome's message, if it has one: a failure in a message box,
    // a list that cannot be saved because its file could not be read in the
    // status line, and a success (done) there too.
    void Report(const SessionOutcome& outcome, const QString& done = {});
    // The status line's words for a command that did its job.
    enum class Done { ListSaved, Rebuilt, TargetTaken, FlagsChanged };
    QString DoneText(Done done) const;
    void UpdateStatusLine();
    // Whether the target or the backup changed since the last look.
    bool FilesChanged();
    // Gives the list view the items a relocation would move.
    void ShowRelocations(const std::vector<ItemStatus>& states);
    std::vector<ItemStatus> ComputeStates();

    // Members, in the order of the window's data.
    PatchList patchList;
    std::string targetPath; // at most 519 bytes
    std::string backupPath; // at most 519 bytes
    CAppSetting settings;
    // Saving, backing up and rebuilding on the four members above.
    PatchSession session{settings, patchList, targetPath, backupPath};
    QIcon icon;
    QTableView* listView = nullptr;

    PatchListModel* model = nullptr;
    // The target and the backup as last looked at for the states.
    FileChangeStamp targetStamp;
    FileChangeStamp backupStamp;
    QAction* aboutAction = nullptr;
    QMenu* windowMenu = nullptr;
    // Every control's rectangle at the default size and how it follows a
    // resize.
    struct Placement;
    std::vector<Placement> placements;
    QSize defaultSize;
    QList<QAction*> exchangeActions;
    QFileSystemWatcher* listWatcher = nullptr;
    // True while the title says that the list was read again from the file.
    bool listReread = false;
    ListColumns* columns = nullptr;
    QLabel* statusLine = nullptr;
    QString statusText;
    bool unreadableTold = false;
    std::unique_ptr<IUserPrompts> ownedPrompts;
    IUserPrompts* prompts = nullptr;
};

// The application icon (16, 32 and 48 pixels).
QIcon BytemenderIcon();
