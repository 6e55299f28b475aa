// What the command-line benchmarks share: an enabled item expecting the bytes
// a file holds, a list written into a settings file, and a program run as a
// child with its time and peak memory.
#pragma once

#include "bench/support/BenchClock.h"
#include "core/PatchListStore.h"
#include "engine/HexText.h"
#include "settings/AppSetting.h"

#include <cstdint>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

namespace bench {

// An enabled item "item <index>" at offset over length (at most 16) bytes:
// old data is what old points to, new data random.
inline PatchItem RandomItem(std::mt19937_64& rng, std::size_t offset, const std::uint8_t* old,
                            std::uint32_t length, int index) {
    std::uint8_t fresh[16];
    for (auto& b : fresh)
        b = static_cast<std::uint8_t>(rng());
    char oldHex[40];
    char newHex[40];
    FormatHexText(old, length, oldHex);
    FormatHexText(fresh, length, newHex);
    return PatchItem{static_cast<std::uint32_t>(offset), "item " + std::to_string(index), oldHex,
                     newHex, 1};
}

// Replaces the list in the settings file, naming target.
inline void WriteList(const std::string& settings, const PatchList& items,
                      const std::string& target) {
    CAppSetting store;
    store.Load(settings.c_str(), 1);
    store.keepOrder = 0;
    WritePatchList(store, items, target);
}

struct ChildRun {
    int status = -1; // the exit status; -1 when it did not start or was killed
    double seconds = 0;
    double peakMiB = 0; // its ru_maxrss, which includes what it started with
};

// Runs the program to its end with its output thrown away.
inline ChildRun RunQuietly(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ChildRun run;
    pid_t pid = 0;
    const double start = Now();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int wstatus = 0;
        rusage usage{};
        ::wait4(pid, &wstatus, 0, &usage);
        run.seconds = Now() - start;
        run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

} // namespace bench
