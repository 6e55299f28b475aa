// Main window with a large patch list: start-up to a shown window, and the
// list refresh. Runs on the offscreen platform unless another is set.
//
//   app_bench [items]   (default 100000)
//
// The settings file (app_bench.ini) and the Path_bak folder are made beside
// the program and removed afterwards.
#include "app/BytemenderDlg.h"
#include "app/PatchListModel.h"
#include "winutil/FileUtil.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTableView>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool WriteSettings(const std::string& path, int items) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "FileName = /data/bench/target.bin\r\n";
    char line[512];
    for (int n = 0; n < items; ++n) {
        // Stored out of order so that the load has real sorting to do.
        const unsigned offset = static_cast<unsigned>((n * 7919u) % 1000003u) * 16u;
        std::snprintf(line, sizeof line,
                      "PathList\\%04d\\Descrip = 第 %d 项 change number %d\r\n"
                      "PathList\\%04d\\NewHex = EB 05 90 90\r\n"
                      "PathList\\%04d\\Offset = 0x%08X\r\n"
                      "PathList\\%04d\\OldHex = 74 05 00 00\r\n"
                      "PathList\\%04d\\Path = %d\r\n",
                      n, n, n, n, n, offset, n, n, n % 2);
        out << line;
    }
    out << "PathList\\Count = " << items << "\r\n";
    return static_cast<bool>(out);
}

void ShowAndWait(QWidget& window) {
    window.show();
    const auto start = Clock::now();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && MsSince(start) < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents(); // the first paint
}

void Report(const char* what, double ms, double goalMs) {
    std::printf("%-48s %9.1f ms   goal < %6.0f ms   ratio %.2f\n", what, ms, goalMs, ms / goalMs);
}

} // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    std::string exe;
    std::string dir;
    if (!GetModuleFileName(&exe) || !GetModuleDir(&dir)) {
        std::fprintf(stderr, "app_bench: cannot find its own folder\n");
        return 1;
    }
    const std::string settings = exe + ".ini";
    if (!WriteSettings(settings, items)) {
        std::fprintf(stderr, "app_bench: cannot write %s\n", settings.c_str());
        return 1;
    }
    std::printf("items: %d, settings file: %.1f MiB\n", items,
                static_cast<double>(std::filesystem::file_size(settings)) / (1024.0 * 1024.0));

    const auto startup = Clock::now();
    QApplication app(argc, argv);
    const double appMs = MsSince(startup);
    const auto constructStart = Clock::now();
    CBytemenderDlg dlg;
    const double constructMs = MsSince(constructStart);
    const auto showStart = Clock::now();
    ShowAndWait(dlg);
    const double showMs = MsSince(showStart);
    const double startupMs = MsSince(startup);
    if (dlg.Model()->rowCount() != items) {
        std::fprintf(stderr, "app_bench: %d rows shown, %d expected\n", dlg.Model()->rowCount(),
                     items);
        return 1;
    }
    std::printf("  application object                 %9.1f ms\n", appMs);
    std::printf("  window, settings load, list fill   %9.1f ms\n", constructMs);
    std::printf("  show and first paint               %9.1f ms\n", showMs);
    Report("start-up to shown main window", startupMs, 1500);

    // The list refresh, alone and followed by the repaint it causes.
    auto timeRefresh = [&dlg](bool repaint) {
        std::vector<double> runs;
        for (int i = 0; i < 9; ++i) {
            const auto start = Clock::now();
            dlg.RefreshList();
            if (repaint)
                dlg.ListView()->viewport()->repaint();
            runs.push_back(MsSince(start));
        }
        std::sort(runs.begin(), runs.end());
        return runs[runs.size() / 2];
    };
    Report("RefreshList, no selection (median of 9)", timeRefresh(false), 100);
    Report("RefreshList + repaint (median of 9)", timeRefresh(true), 100);

    // Every other row selected: the selection carried over is as fragmented as
    // it can be.
    QItemSelection every;
    for (int row = 0; row < items; row += 2)
        every.select(dlg.Model()->index(row, 0),
                     dlg.Model()->index(row, PatchListModel::kColumnCount - 1));
    dlg.ListView()->selectionModel()->select(every, QItemSelectionModel::Select);
    Report("RefreshList, every other row selected", timeRefresh(false), 100);
    // One block of all rows selected (select all).
    dlg.ListView()->selectAll();
    Report("RefreshList, all rows selected", timeRefresh(false), 100);

    std::error_code ignored;
    std::filesystem::remove(settings, ignored);
    std::filesystem::remove_all(dir + "/Path_bak", ignored);
    return 0;
}
