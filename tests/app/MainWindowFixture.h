// A main window on the settings file beside the test program (its own folder),
// with scripted prompts in place of message boxes, the file chooser and the
// modal run of the item editor. The settings file and the Path_bak folder are
// removed before and after each test; targets go to a temporary folder.
#pragma once

#include "tests/support/TestFiles.h"

#include "app/AboutDlg.h"
#include "app/BytemenderDlg.h"
#include "app/PatchListModel.h"
#include "app/RelocateDlg.h"
#include "app/UserPrompts.h"
#include "core/PatchSession.h"
#include "editor/ItemEditDlg.h"
#include "engine/PatchExchange.h"
#include "winutil/DlgUtil.h"
#include "winutil/FileUtil.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <deque>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>
#include <tuple>
#include <utility>

// Messages and about boxes are recorded; the file chooser and the item editor
// play the parts a test gives them, and any use a test did not ask for is a
// failure.
class ScriptedPrompts : public IUserPrompts {
  public:
    struct Message {
        std::string text; // UTF-8
        std::string caption;
        bool operator==(const Message&) const = default;
        friend void PrintTo(const Message& m, std::ostream* os) {
            *os << "{\"" << m.text << "\", \"" << m.caption << "\"}";
        }
    };
    std::vector<Message> messages;
    std::deque<std::optional<std::string>> chooser; // nullopt: the user cancels
    std::vector<std::string> chooserStarts;
    // The user's part in the item editor; returns what the modal run returns.
    std::function<int(CItemEditDlg&)> editor;
    int editorRuns = 0;
    std::vector<int> editorModes;
    std::vector<std::string> editorBackupPaths;
    // Answers to the question about a changed target, in order; the targets
    // it was asked about.
    std::deque<TargetChangedAnswer> targetAnswers;
    std::vector<std::string> targetQuestions;
    // The about boxes run: what each says about where the files are kept.
    struct AboutBox {
        std::string place, settingsFile, backupFolder;
        bool operator==(const AboutBox&) const = default;
        friend void PrintTo(const AboutBox& b, std::ostream* os) {
            *os << "{" << b.place << ", " << b.settingsFile << ", " << b.backupFolder << "}";
        }
    };
    std::vector<AboutBox> aboutBoxes;
    // The exchange commands: their open choosers answer from `chooser` too
    // and are recorded with what they were for; the save chooser answers a
    // path and format (nullopt: cancel); notices and the answers to the
    // question about different lengths.
    std::vector<ExchangeFile> chooserPurposes;
    std::deque<std::optional<std::pair<std::string, PatchFormat>>> saveChooser;
    std::vector<std::pair<std::string, PatchFormat>> saveChooserStarts;
    std::vector<Message> notices;
    std::deque<bool> commonLengthAnswers;
    // The questions whether a backup copy the list cannot be rebuilt from
    // replaces the old one, and the answers.
    std::vector<std::string> replaceBackupQuestions;
    std::deque<bool> replaceBackupAnswers;
    // Answers to the question about a damaged settings file, and its texts.
    std::deque<bool> keepRecoveredAnswers;
    std::vector<std::string> damageQuestions;

    void ShowMessage(QWidget*, const QString& text, const QString& caption) override {
        messages.push_back({text.toStdString(), caption.toStdString()});
    }
    bool ChooseFile(QWidget*, std::string* path) override {
        chooserStarts.push_back(*path);
        if (chooser.empty()) {
            ADD_FAILURE() << "unexpected file chooser";
            return false;
        }
        const std::optional<std::string> answer = chooser.front();
        chooser.pop_front();
        if (!answer)
            return false;
        *path = *answer;
        return true;
    }
    int RunItemEditor(CItemEditDlg& dlg) override {
        ++editorRuns;
        editorModes.push_back(dlg.isModify);
        editorBackupPaths.push_back(dlg.BackupPath());
        if (!editor) {
            ADD_FAILURE() << "unexpected item editor";
            return CItemEditDlg::kResultCancel;
        }
        return editor(dlg);
    }
    void RunAboutBox(CAboutDlg& box) override {
        aboutBoxes.push_back({GetDlgItemTextNarrow(&box, CAboutDlg::IDC_PLACE),
                              GetDlgItemTextNarrow(&box, CAboutDlg::IDC_SETTINGS_FILE),
                              GetDlgItemTextNarrow(&box, CAboutDlg::IDC_BACKUP_FOLDER)});
    }
    TargetChangedAnswer AskTargetChanged(QWidget*, const std::string& target) override {
        targetQuestions.push_back(target);
        if (targetAnswers.empty()) {
            ADD_FAILURE() << "unexpected question about a changed target";
            return TargetChangedAnswer::Cancel;
        }
        const TargetChangedAnswer answer = targetAnswers.front();
        targetAnswers.pop_front();
        return answer;
    }
    bool ChooseFileFor(QWidget* owner, ExchangeFile purpose, std::string* path) override {
        chooserPurposes.push_back(purpose);
        return ChooseFile(owner, path);
    }
    bool ChooseSaveFile(QWidget*, std::string* path, PatchFormat* format) override {
        saveChooserStarts.emplace_back(*path, *format);
        if (saveChooser.empty()) {
            ADD_FAILURE() << "unexpected save chooser";
            return false;
        }
        const auto answer = saveChooser.front();
        saveChooser.pop_front();
        if (!answer)
            return false;
        std::tie(*path, *format) = *answer;
        return true;
    }
    bool AskCommonLength(QWidget*, const std::string&, const std::string&, std::uint64_t,
                         std::uint64_t) override {
        if (commonLengthAnswers.empty()) {
            ADD_FAILURE() << "unexpected question about different lengths";
            return false;
        }
        const bool answer = commonLengthAnswers.front();
        commonLengthAnswers.pop_front();
        return answer;
    }
    void ShowNotice(QWidget*, const QString& text, const QString& caption) override {
        notices.push_back({text.toStdString(), caption.toStdString()});
    }
    bool AskReplaceBackup(QWidget*, const QString& text) override {
        replaceBackupQuestions.push_back(text.toStdString());
        if (replaceBackupAnswers.empty()) {
            ADD_FAILURE() << "unexpected question about replacing the backup";
            return false;
        }
        const bool answer = replaceBackupAnswers.front();
        replaceBackupAnswers.pop_front();
        return answer;
    }
    // The relocation dialog is made (not run): its summary and rows
    // ("description|offsets|result") are kept, and the next scripted answer
    // is given.
    bool ConfirmRelocation(QWidget*, const PatchList& items,
                           const std::vector<ItemRelocation>& plan) override {
        Record(CRelocateDlg(nullptr, items, plan));
        if (relocationAnswers.empty()) {
            ADD_FAILURE() << "unexpected relocation dialog";
            return false;
        }
        const bool answer = relocationAnswers.front();
        relocationAnswers.pop_front();
        return answer;
    }
    // The same before a new backup copy: the accepting button's text is
    // kept last, and the answer is that button (true) or "取消".
    BackupRelocationAnswer ConfirmBackupRelocation(QWidget*, const PatchList& items,
                                                   const std::vector<ItemRelocation>& plan,
                                                   bool complete) override {
        const CRelocateDlg dlg(nullptr, items, plan,
                               complete ? RelocateDlgMode::NewBackupComplete
                                        : RelocateDlgMode::NewBackupIncomplete);
        Record(dlg);
        relocationDialogs.back().push_back(dlg.RelocateButton()->text().toStdString());
        if (relocationAnswers.empty()) {
            ADD_FAILURE() << "unexpected relocation dialog";
            return BackupRelocationAnswer::Cancel;
        }
        const bool answer = relocationAnswers.front();
        relocationAnswers.pop_front();
        return !answer    ? BackupRelocationAnswer::Cancel
               : complete ? BackupRelocationAnswer::Relocate
                          : BackupRelocationAnswer::ReplaceAnyway;
    }
    void Record(const CRelocateDlg& dlg) {
        std::vector<std::string> shown{dlg.Summary().toStdString()};
        for (int i = 0; i < dlg.Table()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = dlg.Table()->topLevelItem(i);
            shown.push_back((row->text(0) + "|" + row->text(1) + "|" + row->text(2)).toStdString());
        }
        relocationDialogs.push_back(shown);
    }
    std::vector<std::vector<std::string>> relocationDialogs;
    std::deque<bool> relocationAnswers;
    bool AskKeepRecovered(QWidget*, const QString& text) override {
        damageQuestions.push_back(text.toStdString());
        if (keepRecoveredAnswers.empty()) {
            ADD_FAILURE() << "unexpected question about a damaged settings file";
            return false;
        }
        const bool answer = keepRecoveredAnswers.front();
        keepRecoveredAnswers.pop_front();
        return answer;
    }
};

// n items at offsets 0x10, 0x20, ... described "item 0", "item 1", ...; the
// odd ones enabled.
inline PatchList Items(int n) {
    PatchList items;
    for (int i = 0; i < n; ++i)
        items.push_back(PatchItem{static_cast<std::uint32_t>(0x10 * (i + 1)),
                                  "item " + std::to_string(i), "00", "01", i % 2});
    return items;
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(GetModuleDir(&moduleDir_));
        std::string exe;
        ASSERT_TRUE(GetModuleFileName(&exe));
        settingsFile_ = exe + ".ini";
        backupDir_ = moduleDir_ + "/Path_bak";
        ASSERT_FALSE(temp_.path().empty());
        Cleanup();
    }
    void TearDown() override {
        window_.reset();
        Cleanup();
    }
    void Cleanup() {
        std::error_code ignored;
        std::filesystem::remove(settingsFile_, ignored);
        std::filesystem::remove_all(backupDir_, ignored);
    }

    // Writes the settings file (unless text is null) and opens the window.
    CBytemenderDlg& Open(const char* settingsText = nullptr) {
        if (settingsText)
            WriteBytes(settingsFile_, settingsText);
        window_ = std::make_unique<CBytemenderDlg>(&prompts_);
        return *window_;
    }
    CBytemenderDlg& OpenShown(const char* settingsText = nullptr) {
        Open(settingsText).show();
        // What the window tells once it shows (an unreadable or damaged list).
        QCoreApplication::processEvents();
        return *window_;
    }
    // A shown window whose list holds these items (saved, so the settings file
    // has them too), with nothing selected.
    CBytemenderDlg& OpenWith(const PatchList& items, const std::string& target = "") {
        CBytemenderDlg& dlg = OpenShown();
        dlg.Items() = items;
        dlg.TargetPath() = target;
        dlg.MakeBackupPath();
        dlg.SavePatchList();
        dlg.RefreshList();
        return dlg;
    }

    void Click(int id) { QTest::mouseClick(window_->Button(id), Qt::LeftButton); }
    // Selects exactly these rows.
    void Select(std::initializer_list<int> rows) {
        QItemSelectionModel* selection = window_->ListView()->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(window_->Model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::vector<int> Selected() const {
        std::vector<int> rows;
        GetSelectedRows(window_->ListView(), &rows);
        return rows;
    }
    QString Cell(int row, int column) const {
        return window_->Model()->index(row, column).data().toString();
    }
    std::vector<std::uint32_t> Offsets() const {
        std::vector<std::uint32_t> offsets;
        for (const PatchItem& item : window_->Items())
            offsets.push_back(item.offset);
        return offsets;
    }
    std::vector<int> Flags() const {
        std::vector<int> flags;
        for (const PatchItem& item : window_->Items())
            flags.push_back(item.enabled);
        return flags;
    }
    std::string Settings() const { return ReadBytes(settingsFile_); }
    bool SettingsExist() const { return std::filesystem::exists(settingsFile_); }
    // Whether the settings file holds this text.
    ::testing::AssertionResult SettingsHave(const std::string& text) const {
        const std::string settings = Settings();
        if (settings.find(text) != std::string::npos)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << text << "\" not in:\n" << settings;
    }

    TempDir temp_;
    std::string moduleDir_;
    std::string settingsFile_;
    std::string backupDir_;
    ScriptedPrompts prompts_;
    std::unique_ptr<CBytemenderDlg> window_;
};
