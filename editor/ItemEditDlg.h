// CItemEditDlg: the modal dialog that adds a patch item or changes one.
#pragma once

#include "engine/PatchItem.h"

#include <QDialog>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class QCloseEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// The backup path the dialog holds: at most kEditorBackupPathCapacity - 1
// bytes of narrow text.
inline constexpr std::size_t kEditorBackupPathCapacity = 260;
// The offset box is read as at most kEditorTextCapacity - 1 bytes of narrow
// text. The other boxes are read whole: a description longer than
// kMaxDescriptionLength bytes or a data text longer than kMaxItemTextLength
// is refused with a message, never cut.
inline constexpr std::size_t kEditorTextCapacity = 4096;

// The offset box read as an unsigned 32-bit number in base 16: leading white
// space, an optional sign, an optional "0x"/"0X", then hexadecimal digits as far
// as they go. No digits give 0, an overflow gives 0xFFFFFFFF, and '-' negates
// modulo 2^32.
std::uint32_t ParseOffsetText(std::string_view text);

// text cut to at most maxBytes bytes. When the cut would fall inside a UTF-8
// sequence the whole sequence is dropped, so no half character is kept.
std::string CutNarrowText(std::string_view text, std::size_t maxBytes);

class CItemEditDlg : public QDialog {
    Q_OBJECT
  public:
    // Control ids of the dialog's template.
    enum : int {
        IDOK_ = 1,
        IDCANCEL_ = 2,
        IDC_SEARCH = 1002,
        IDC_OFFSET = 1003,
        IDC_DESCRIPTION = 1004,
        IDC_OLDDATA = 1005,
        IDC_NEWDATA = 1006,
        IDC_SIGNATURE = 1007, // read-only: the item's signature
    };

    // The modal results: exec() returns kResultOk when the user confirmed the
    // item and kResultCancel when the dialog was cancelled (button 2, Escape or
    // the close box). QDialog's own Accepted/Rejected values are never used.
    enum : int {
        kResultOk = 1,
        kResultCancel = 2,
    };

    explicit CItemEditDlg(QWidget* parent = nullptr);
    ~CItemEditDlg() override;

    // Copies the backup copy's path in; false (and nothing stored) when it is
    // longer than the dialog can hold. A refused path leaves the dialog without
    // a backup path, so a search then reports that the file cannot be read.
    bool SetBackupPath(const std::string& path);
    const std::string& BackupPath() const { return backupPath; }

    PatchItem* item = nullptr; // not owned; filled from (modify) and written by OnAccept
    int isModify = 0;          // 1: change an existing item; 0: add one
    // Shows a refusal of "确定" (text, caption) in a message box owned by the
    // dialog; the owner routes it through its prompts.
    std::function<void(const QString& text, const QString& caption)> showMessage;

    // Runs when the dialog is shown: title, form from the record, dialog
    // font, focus on "确定". Called by setVisible(true); public for tests.
    bool OnInitDialog();

    void setVisible(bool visible) override;
    void accept() override; // routed to OnAccept
    void reject() override; // ends with kResultCancel

  private slots:
    void OnAccept();
    void OnSearchData();

  private:
    void CreateControls();
    void LayoutControls(const QFont& font);
    void MessageMap();

    std::string backupPath;

    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QLabel* offsetLabel_ = nullptr;
    QLineEdit* offsetEdit_ = nullptr;
    QLabel* descriptionLabel_ = nullptr;
    QLineEdit* descriptionEdit_ = nullptr;
    QLabel* oldDataLabel_ = nullptr;
    QLineEdit* oldDataEdit_ = nullptr;
    QLabel* newDataLabel_ = nullptr;
    QLineEdit* newDataEdit_ = nullptr;
    QLabel* signatureLabel_ = nullptr;
    QLineEdit* signatureEdit_ = nullptr;
    QPushButton* searchButton_ = nullptr;
};
