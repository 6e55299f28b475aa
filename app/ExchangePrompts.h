// The dialogs behind the exchange commands' prompts (QtUserPrompts), made
// without running them, and what the user chose in them.
#pragma once

#include "engine/PatchExchange.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class QFileDialog;
class QMessageBox;
class QWidget;
enum class ExchangeFile; // app/UserPrompts.h

// The open chooser for a patch file to import ("补丁文件" and "所有文件"
// filters) or a file to compare (every file). Starts in the folder *path
// names, or in the folder of the file it names, which is preselected when it
// exists.
std::unique_ptr<QFileDialog> MakeExchangeOpenDialog(QWidget* owner, ExchangeFile purpose,
                                                    const std::string& path);

// The export chooser: one filter per format, format's selected, the file
// name of path preselected; overwriting a file is confirmed; a name typed
// without extension gets the selected format's.
std::unique_ptr<QFileDialog> MakeExportDialog(QWidget* owner, const std::string& path,
                                              PatchFormat format);
// The path and format chosen in that dialog. A name ending in another
// format's extension takes that format (".ips" counts for IPS and IPS32); a
// name without any extension gets the selected format's. False when no file
// is chosen.
bool ExportChoiceOf(const QFileDialog& dialog, std::string* path, PatchFormat* format);

// The question about files of different lengths: 是 compares the bytes
// both have, 否 (the default and the Escape button) compares nothing.
std::unique_ptr<QMessageBox> MakeCommonLengthBox(QWidget* owner, const std::string& originalPath,
                                                 const std::string& patchedPath,
                                                 std::uint64_t originalLength,
                                                 std::uint64_t patchedLength);
// Whether the button clicked in that box compares the bytes both have.
bool CommonLengthChosen(const QMessageBox& box);
