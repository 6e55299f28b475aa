// Shows one scene of the item editor for a look at it (screenshots, manual
// checks) and stays until closed:
//
//   editor_showcase add      the editor in add mode
//   editor_showcase modify   the editor changing an item at offset 0x1f
//   editor_showcase search   a search with many matches: the listing in the offset box
//   editor_showcase too-long the message for new data longer than an item holds
//   editor_showcase relocate the relocation dialog with moves and failures
//   editor_showcase relocate-backup the same before a new backup of an updated target
//   editor_showcase error    the main window's message for an item whose old data
//                            does not match, over the main window
//   editor_showcase progress "保存" of a target of 1 GiB: the progress dialog over the
//                            main window while the rebuild copies and hashes it
//   editor_showcase window   the main window on the settings file beside this
//                            program (also window-maximized, window-menu with
//                            its menu open, about with the about box,
//                            window-status after a command, question with the
//                            question about a changed target, chooser with the
//                            file chooser, and long-message with a message too
//                            long for its box)
//
// Files it needs (a backup copy, a target) go to a temporary folder; the main
// window's settings file and Path_bak folder are the ones beside this program.
#include "app/BytemenderDlg.h"
#include "app/Language.h"
#include "app/RelocateDlg.h"
#include "app/UserPrompts.h"
#include "editor/ItemEditDlg.h"
#include "winutil/DlgUtil.h"
#include "winutil/FileUtil.h"
#include "winutil/Translate.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string MakeTempFile(const std::string& dir, const char* name,
                         const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir + "/" + name;
    WriteFileWhole(path.c_str(), bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return path;
}

std::vector<std::uint8_t> SampleBytes() {
    std::vector<std::uint8_t> bytes(4096, 0x00);
    for (std::size_t i = 0; i < bytes.size(); i += 0x100) {
        bytes[i + 0x10] = 0x90;
        bytes[i + 0x11] = 0x90;
    }
    bytes[0x1f] = 0x74;
    bytes[0x20] = 0x05;
    return bytes;
}

int Usage() {
    std::fprintf(stderr, "usage: editor_showcase "
                         "add|modify|search|too-long|error|window|window-maximized|window-menu|"
                         "about|relocate|relocate-backup|window-status|question|chooser|"
                         "long-message|progress\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string scene = argv[1];
    const bool english = UserInterfaceIsEnglish();
    DialogFormatLoan dialogFormats(!english);
    QApplication app(argc, argv);
    dialogFormats.Restore();
    InstallTranslations(&app, english);

    char pattern[] = "/tmp/bm_showcase_XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string temp = pattern;
    const std::string backup = MakeTempFile(temp, "backup.bin", SampleBytes());

    PatchItem item{
        0x1f, "跳转补丁 (jump patch)", "74 05", "EB 05", 1, "E8 ?? ?? ?? ?? 85 C0 74 05 8B 45 F8",
        7};
    int status = 0;
    if (scene == "add" || scene == "modify" || scene == "search" || scene == "too-long") {
        PatchItem fresh;
        CItemEditDlg dlg;
        QtUserPrompts prompts;
        dlg.SetBackupPath(backup);
        dlg.showMessage = [&](const QString& text, const QString& caption) {
            prompts.ShowMessage(&dlg, text, caption);
        };
        dlg.item = scene == "modify" ? &item : &fresh;
        dlg.isModify = scene == "modify" ? 1 : 0;
        dlg.show();
        if (scene == "too-long") {
            if (auto* box = qobject_cast<QLineEdit*>(GetDlgItem(&dlg, CItemEditDlg::IDC_NEWDATA)))
                box->setText(QString(9000, QChar('9')));
            if (auto* box = qobject_cast<QLineEdit*>(GetDlgItem(&dlg, CItemEditDlg::IDC_OLDDATA)))
                box->setText(QStringLiteral("74 05"));
            QTimer::singleShot(300, &dlg, [&dlg] { dlg.accept(); });
        }
        if (scene == "search") {
            if (auto* box = qobject_cast<QLineEdit*>(GetDlgItem(&dlg, CItemEditDlg::IDC_OLDDATA)))
                box->setText(QStringLiteral("90 90"));
            if (auto* search =
                    qobject_cast<QPushButton*>(GetDlgItem(&dlg, CItemEditDlg::IDC_SEARCH)))
                search->click();
        }
        status = dlg.exec();
    } else if (scene == "window" || scene == "window-maximized" || scene == "window-menu" ||
               scene == "about" || scene == "window-status" || scene == "question" ||
               scene == "chooser" || scene == "long-message") {
        // The main window on the settings file beside this program.
        CBytemenderDlg window;
        if (scene == "window-maximized")
            window.setWindowState(Qt::WindowMaximized);
        if (scene == "about")
            QMetaObject::invokeMethod(&window, &CBytemenderDlg::OnAbout, Qt::QueuedConnection);
        if (scene == "window-menu") {
            if (auto* more =
                    qobject_cast<QToolButton*>(GetDlgItem(&window, CBytemenderDlg::IDC_MORE)))
                QMetaObject::invokeMethod(more, &QToolButton::showMenu, Qt::QueuedConnection);
        }
        QtUserPrompts prompts;
        QMetaObject::invokeMethod(
            &window,
            [&] {
                if (scene == "window-status") {
                    window.ListView()->selectRow(0);
                    window.OnToggleSelected();
                } else if (scene == "question") {
                    MakeTargetChangedBox(&window, window.TargetPath())->exec();
                } else if (scene == "chooser") {
                    std::string path = window.TargetPath();
                    ChooseOpenFile(&path, &window);
                } else if (scene == "long-message") {
                    QString text = QString::fromUtf8("第 1 行, 偏移 00000010:\n");
                    for (int i = 0; i < 400; ++i)
                        text +=
                            QStringLiteral("%1 ").arg(i & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
                    text += QString::fromUtf8("\n原始数据不匹配!");
                    prompts.ShowMessage(&window, text, QStringLiteral("Error"));
                }
            },
            Qt::QueuedConnection);
        status = window.exec();
    } else if (scene == "relocate" || scene == "relocate-backup") {
        // After an update: two items found again, two that cannot be placed.
        const PatchList items{item,
                              {0x1c40, "跳过检查 (skip check)", "75 0C", "EB 0C", 1},
                              {0x2210, "修改常量 (constant)", "64 00 00 00", "E8 03 00 00", 1},
                              {0x3a00, "去掉提示 (no nag)", "E8 10 02 00 00", "90 90 90 90 90", 0}};
        const std::vector<ItemRelocation> plan{{RelocationKind::Moves, 0x4f, 1},
                                               {RelocationKind::Moves, 0x1c90, 1},
                                               {RelocationKind::NotFound, 0, 0},
                                               {RelocationKind::Ambiguous, 0, 2}};
        // "relocate-backup": the same before the new backup of an updated
        // target is taken, where two enabled items cannot be placed.
        CRelocateDlg dlg(nullptr, items, plan,
                         scene == "relocate" ? RelocateDlgMode::OnDemand
                                             : RelocateDlgMode::NewBackupIncomplete);
        status = dlg.exec();
    } else if (scene == "error" || scene == "progress") {
        CBytemenderDlg window;
        const std::string target = MakeTempFile(temp, "game.bin", SampleBytes());
        window.TargetPath() = target;
        window.MakeBackupPath();
        std::error_code ignored;
        if (scene == "progress") {
            // Sparse files of 1 GiB (the sample bytes, then zeros): the
            // rebuild takes a few seconds.
            const std::vector<std::uint8_t> bytes = SampleBytes();
            WriteFileWhole(window.BackupPath().c_str(), bytes.data(),
                           static_cast<std::uint32_t>(bytes.size()));
            for (const std::string& path : {target, window.BackupPath()})
                std::filesystem::resize_file(path, std::uintmax_t(1) << 30, ignored);
        } else {
            std::filesystem::copy_file(target, window.BackupPath(),
                                       std::filesystem::copy_options::overwrite_existing, ignored);
        }
        if (scene == "error")
            window.Items() = {item, PatchItem{0x210, "没有匹配的项目", "12 34", "56 78", 1}};
        window.UpdateTitle();
        window.RefreshList();
        window.show();
        // The message box runs modally once the window is on screen.
        QTimer::singleShot(300, &window, [&window] { window.ApplyPatches(); });
        QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
        status = app.exec();
    } else {
        status = Usage();
    }
    std::error_code ignored;
    std::filesystem::remove_all(temp, ignored);
    return status;
}
