// Replays every file of the fuzz corpus through the load/save round-trip
// check, so the sanitizer builds cover it without a fuzzing compiler.
#include "tests/settings/SettingsRoundTrip.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

TEST(FuzzCorpus, EveryFileReachesAFixedPoint) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(BM_SETTINGS_CORPUS_DIR)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    RoundTripFolder folder;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::size_t checked = 0;
    for (const auto& file : files) {
        const std::string bytes = ReadBytes(file.string());
        std::string why;
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        EXPECT_TRUE(CheckSettingsRoundTrip(data, bytes.size(), folder, &why))
            << file.filename() << ": " << why;
        EXPECT_TRUE(CheckDeleteSectionMatchesLiteral(data, bytes.size(), folder, &why))
            << file.filename() << ": " << why;
        ++checked;
        if (std::chrono::steady_clock::now() > deadline) {
            break; // bounded time; the files not reached are named below
        }
    }
    EXPECT_EQ(checked, files.size()) << "time ran out before the whole corpus was replayed";
}
