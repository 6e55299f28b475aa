// Everything the main window asks of the user: error messages, the file
// chooser and the modal item editor. The real implementation shows Qt dialogs;
// tests put a scripted one in its place.
#pragma once

#include "engine/PatchItem.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QMessageBox;
class QWidget;
class CAboutDlg;
class CItemEditDlg;
enum class TargetChangedAnswer;    // core/PatchSession.h
enum class PatchFormat;            // engine/PatchExchange.h
struct ItemRelocation;             // engine/Relocate.h
enum class BackupRelocationAnswer; // core/PatchSession.h

// The files the exchange commands open: a patch file to import, and the
// original and the patched file to compare.
enum class ExchangeFile { PatchToImport, DiffOriginal, DiffPatched };

class IUserPrompts {
  public:
    virtual ~IUserPrompts();
    // A message box owned by owner with an error icon and a single OK button.
    virtual void ShowMessage(QWidget* owner, const QString& text, const QString& caption) = 0;
    // The open-file chooser starting from *path; true and the chosen full path
    // in *path when the user chose a file.
    virtual bool ChooseFile(QWidget* owner, std::string* path) = 0;
    // Runs the item editor modally; 1 when the user confirmed, 2 otherwise.
    virtual int RunItemEditor(CItemEditDlg& dlg) = 0;
    // Runs the about box modally until the user closes it.
    virtual void RunAboutBox(CAboutDlg& box);
    // The target at targetPath was changed by someone else since its backup
    // was taken or it was last rebuilt: take a new backup from it, overwrite
    // it from the old backup, or cancel (the default).
    virtual TargetChangedAnswer AskTargetChanged(QWidget* owner, const std::string& targetPath) = 0;

    // The exchange commands' choosers and questions (app/ExchangePrompts.cpp);
    // prompts without them cancel and show nothing. The open chooser for one
    // of the files, starting at *path (folder, or file to preselect); true
    // and the chosen full path in *path.
    virtual bool ChooseFileFor(QWidget* owner, ExchangeFile purpose, std::string* path);
    // The save chooser for an export: the five formats offered, *format
    // selected; true with the chosen path (given the format's extension when
    // it has none) and its format (the extension's, when it names another).
    virtual bool ChooseSaveFile(QWidget* owner, std::string* path, PatchFormat* format);
    // Files of different lengths: true to compare the bytes both have.
    virtual bool AskCommonLength(QWidget* owner, const std::string& originalPath,
                                 const std::string& patchedPath, std::uint64_t originalLength,
                                 std::uint64_t patchedLength);
    // An information box with a single OK button.
    virtual void ShowNotice(QWidget* owner, const QString& text, const QString& caption);
    // A new backup copy could not rebuild the items text names: true to
    // replace the old copy all the same. Prompts without it keep the old one.
    virtual bool AskReplaceBackup(QWidget* owner, const QString& text);
    // The relocation dialog (app/RelocateDlg.h) for plan: true when the user
    // confirmed the moves. Prompts without it decline.
    virtual bool ConfirmRelocation(QWidget* owner, const PatchList& items,
                                   const std::vector<ItemRelocation>& plan);
    // The same dialog before a new backup copy of an updated target is
    // taken (complete: every enabled item fits it once moved). Prompts
    // without it cancel.
    virtual BackupRelocationAnswer ConfirmBackupRelocation(QWidget* owner, const PatchList& items,
                                                           const std::vector<ItemRelocation>& plan,
                                                           bool complete);
    // The settings file is damaged (text tells how and what was recovered):
    // true to keep the recovered list and save it over the file, false (the
    // default, and the answer of prompts without the question) to leave the
    // file alone for this session.
    virtual bool AskKeepRecovered(QWidget* owner, const QString& text);
};

class QtUserPrompts : public IUserPrompts {
  public:
    // The box stays within the owner's screen: a text too long for it is
    // shown with its middle cut out, and the whole text is kept in the box's
    // details (scrollable, selectable, copied with Ctrl+C).
    void ShowMessage(QWidget* owner, const QString& text, const QString& caption) override;
    bool ChooseFile(QWidget* owner, std::string* path) override;
    int RunItemEditor(CItemEditDlg& dlg) override;
    TargetChangedAnswer AskTargetChanged(QWidget* owner, const std::string& targetPath) override;
    bool ChooseFileFor(QWidget* owner, ExchangeFile purpose, std::string* path) override;
    bool ChooseSaveFile(QWidget* owner, std::string* path, PatchFormat* format) override;
    bool AskCommonLength(QWidget* owner, const std::string& originalPath,
                         const std::string& patchedPath, std::uint64_t originalLength,
                         std::uint64_t patchedLength) override;
    void ShowNotice(QWidget* owner, const QString& text, const QString& caption) override;
    bool AskReplaceBackup(QWidget* owner, const QString& text) override;
    bool ConfirmRelocation(QWidget* owner, const PatchList& items,
                           const std::vector<ItemRelocation>& plan) override;
    BackupRelocationAnswer ConfirmBackupRelocation(QWidget* owner, const PatchList& items,
                                                   const std::vector<ItemRelocation>& plan,
                                                   bool complete) override;
    bool AskKeepRecovered(QWidget* owner, const QString& text) override;
};

// A message text made to fit a box of at most maxRows rows of rowChars
// characters; a line longer than a row takes as many rows as it fills. Line
// ends become '\n'. A text that does not fit loses its middle, replaced by
// "…" on a line of its own, so that its beginning and its end, where a
// message says what went wrong, both show; the cut falls after a space where
// the rows at its edges have one, never inside a hex pair or a word; in
// what is left, a run of more than rowChars characters without a space gets
// a zero-width space after every rowChars of them, where the box may wrap.
struct ShapedMessage {
    QString text;
    bool elided = false;
};
ShapedMessage ShapeMessageText(const QString& text, int maxRows, int rowChars);

// The boxes QtUserPrompts runs, made without running them. The message box:
// error icon, one OK button, the shaped text, the whole text in its details
// when it was shortened.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text,
                                            const QString& caption);
// The question about a changed target: 重新备份, 覆盖 and 取消 (the default
// and the Escape button), in that order.
std::unique_ptr<QMessageBox> MakeTargetChangedBox(QWidget* owner, const std::string& targetPath);
// The answer the button clicked in that box gives (Cancel when none was).
TargetChangedAnswer TargetChangedAnswerOf(const QMessageBox& box);
// The question about a damaged settings file: 保留恢复的列表 and 不写入该文件
// (the default and the Escape button).
std::unique_ptr<QMessageBox> MakeKeepRecoveredBox(QWidget* owner, const QString& text);
// True when that box's 保留恢复的列表 was clicked.
bool KeptRecovered(const QMessageBox& box);
