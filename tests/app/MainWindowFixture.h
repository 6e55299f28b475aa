// A main window on a settings file written beforehand, with scripted prompts.
// The settings file and the Path_bak folder sit beside the test program (its
// own folder) and are removed afterwards.
#pragma once

#include "tests/support/TestFiles.h"

#include "app/BytemenderDlg.h"
#include "app/PatchListModel.h"
#include "app/UserPrompts.h"
#include "editor/ItemEditDlg.h"
#include "winutil/DlgUtil.h"
#include "winutil/FileUtil.h"

#include <QTableView>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

// The window's prompts in tests: messages are recorded, the file chooser is
// cancelled and the item editor is never confirmed.
class ScriptedPrompts : public IUserPrompts {
  public:
    std::vector<QString> messages;
    void ShowMessage(QWidget*, const QString& text, const QString&) override {
        messages.push_back(text);
    }
    bool ChooseFile(QWidget*, std::string*) override { return false; }
    int RunItemEditor(CItemEditDlg&) override { return 2; }
};

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string exe;
        ASSERT_TRUE(GetModuleFileName(&exe));
        settingsFile_ = exe + ".ini";
        ASSERT_TRUE(GetModuleDir(&moduleDir_));
        backupDir_ = moduleDir_ + "/Path_bak";
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
    CBytemenderDlg& Open(const char* text) {
        if (text)
            WriteBytes(settingsFile_, text);
        window_ = std::make_unique<CBytemenderDlg>(&prompts_);
        return *window_;
    }

    QString Cell(int row, int column) const {
        return window_->Model()->index(row, column).data().toString();
    }
    std::vector<int> SelectedRows() const {
        std::vector<int> rows;
        GetSelectedRows(window_->ListView(), &rows);
        return rows;
    }
    void Select(std::initializer_list<int> rows) {
        for (int row : rows)
            window_->ListView()->selectionModel()->select(window_->Model()->index(row, 0),
                                                          QItemSelectionModel::Select |
                                                              QItemSelectionModel::Rows);
    }

    std::string settingsFile_;
    std::string moduleDir_;
    std::string backupDir_;
    ScriptedPrompts prompts_;
    std::unique_ptr<CBytemenderDlg> window_;
};

// n items at offsets 0x10, 0x20, ... described "item 0", "item 1", ...; the
// odd ones enabled.
inline std::string ItemsText(int n, const std::string& target = "/data/game.bin") {
    std::string text =
        "FileName = " + target + "\r\nPathList\\Count = " + std::to_string(n) + "\r\n";
    for (int i = 0; i < n; ++i) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "PathList\\%04d\\", i);
        text += std::string(prefix) + "Offset = 0x" + std::to_string((i + 1) * 10) + "\r\n";
        text += std::string(prefix) + "Descrip = item " + std::to_string(i) + "\r\n";
        text += std::string(prefix) + "Path = " + std::to_string(i % 2) + "\r\n";
    }
    return text;
}
