#include "engine/ItemState.h"
#include "engine/Fingerprint.h"

#include "tests/support/TestFiles.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using S = ItemState;

PatchItem Item(std::uint32_t offset, std::string oldHex, std::string newHex, int enabled = 1) {
    return PatchItem{offset, "item", std::move(oldHex), std::move(newHex), enabled};
}

// count spaced hex pairs of the byte values first, first + 1, ... (or of one
// repeated value).
std::string Pairs(int first, int count, bool repeat = false) {
    std::string text;
    char pair[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", (repeat ? first : first + i) & 0xFF);
        text += (i ? " " : "") + std::string(pair);
    }
    return text;
}

struct Expect {
    ItemState state;
    bool attention = false;
    bool overlapping = false;
    const char* targetHex = nullptr; // null: not checked
    const char* backupHex = nullptr;
    // BackupMismatch: the backup holds the old bytes, an earlier item wrote
    // over them.
    bool oldOverwritten = false;
};

struct Scenario {
    const char* name;
    std::vector<PatchItem> items;
    std::vector<Expect> expect;
    const char* backup = "backup"; // files of the folder, see below
    const char* target = "target";
};

TEST(ItemStates, Scenarios) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    // The backup holds byte k at offset k (128 bytes); the target is 8 bytes
    // shorter and differs at a few places.
    std::string backup;
    for (int k = 0; k < 128; ++k)
        backup.push_back(static_cast<char>(k));
    std::string target = backup.substr(0, 120);
    target.replace(0, 2, Bytes({0xAA, 0xBB}));
    target[4] = static_cast<char>(0xEE);
    target.replace(16, 70, std::string(70, static_cast<char>(0xCC)));
    target.replace(96, 8, Bytes({0xA0, 0xA1, 0xB2, 0xB3, 0xA4, 0xA5, 0xA6, 0xA7}));
    WriteBytes(dir.File("backup"), backup);
    WriteBytes(dir.File("target"), target);
    WriteBytes(dir.File("empty"), "");
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);

    const std::string longTarget = Pairs(0xCC, 64, true) + " ...";
    const std::string longBackup = Pairs(0x10, 64) + " ...";
    const PatchItem applied = Item(0, "00 01", "AA BB");
    const Scenario scenarios[] = {
        {"applied", {applied}, {{S::Applied, false, false, "AA BB", "00 01"}}},
        {"applied but disabled", {Item(0, "0001", "aabb", 0)}, {{S::Applied, true}}},
        {"original", {Item(2, "02", "F2")}, {{S::Original, true, false, "02", "02"}}},
        {"original and disabled", {Item(2, "02", "F2", 0)}, {{S::Original}}},
        {"differs", {Item(4, "04", "44")}, {{S::Differs, true, false, "EE", "04"}}},
        {"backup mismatch", {Item(5, "FF", "55")}, {{S::BackupMismatch, true, false, "05", "05"}}},
        {"backup mismatch, disabled", {Item(5, "FF", "55", 0)}, {{S::BackupMismatch}}},
        {"old equals new",
         {Item(6, "06", "06"), Item(6, "06", "06", 0)},
         {{S::Applied}, {S::Original}}},
        {"new a prefix of old", {Item(10, "0A 0B", "0A", 0)}, {{S::Original}}},
        {"no new bytes",
         {Item(7, "07", ""), Item(7, "07", "", 0), Item(4, "04", "")},
         {{S::Applied}, {S::Original}, {S::Differs, true}}},
        {"no old bytes",
         {Item(8, "", "F8", 0), Item(0, "", "AA BB"), Item(4, "", "44")},
         {{S::Original}, {S::Applied}, {S::Differs, true}}},
        {"nothing at all", {Item(9, "", "")}, {{S::Applied, false, false, "", ""}}},
        {"long range shown cut",
         {Item(16, Pairs(0x10, 70), Pairs(0xCC, 70, true))},
         {{S::Applied, false, false, longTarget.c_str(), longBackup.c_str()}}},
        {"past the backup's end",
         {Item(127, "7F", "01 02"), Item(127, "7F", "01 02", 0)},
         {{S::OutOfRange, true, false, "", "7F"}, {S::OutOfRange}}},
        {"ends at the backup's last byte",
         {Item(126, "7E 7F", "")},
         {{S::Applied}},
         "backup",
         "backup"},
        {"past the target's end only",
         {Item(118, "76 77 78 79", "")},
         {{S::OutOfRange, true, false, "76 77", "76 77 78 79"}}},
        {"offset at the top of 32 bits",
         {Item(0xFFFFFFFFu, "", "41")},
         {{S::OutOfRange, true, false, "", ""}}},
        // The rebuild applies items in list order: a later item may expect the
        // bytes an earlier one wrote, and the target then holds a mix.
        {"chained items",
         {Item(96, Pairs(0x60, 8), Pairs(0xA0, 8)), Item(98, "A2 A3", "B2 B3"),
          Item(97, "A1 B2", "", 0), Item(100, "A4 A5", "D4", 0), Item(100, "64", "D4", 0)},
         {{S::Applied},
          {S::Applied, false, true},
          {S::Original},
          {S::Original},
          {S::BackupMismatch, false, false, nullptr, nullptr, true}}},
        {"written over in the middle",
         {Item(96, Pairs(0x60, 8), Pairs(0xA0, 8)), Item(94, "5E 5F A0", "E0 E1 E2"),
          Item(97, "A1 A2", "", 0)},
         {{S::Differs, true}, {S::Original, true, true}, {S::Differs}}},
        {"only enabled items overlap",
         {Item(2, "02", "F2", 0), Item(2, "02", "F2"), Item(1, "01 F2 03", "E1 E2 E3"),
          Item(3, "E3", "F3"), Item(5, "05", "F5")},
         {{S::Original},
          {S::Original, true},
          {S::Differs, true, true},
          {S::Differs, true, true},
          {S::Original, true}}},
        {"missing target", {applied}, {{S::Unknown, false, false, "", "00 01"}}, "backup", "none"},
        {"missing backup", {applied}, {{S::Unknown, false, false, "AA BB", ""}}, "none"},
        {"no target chosen", {applied}, {{S::Unknown}}, "backup", ""},
        {"FIFO as target", {applied}, {{S::Unknown}}, "backup", "fifo"},
        {"FIFO as backup", {applied}, {{S::Unknown}}, "fifo"},
        {"folder as target", {applied}, {{S::Unknown}}, "backup", "folder"},
        {"empty backup", {applied}, {{S::Unknown}}, "empty"},
        {"empty target", {applied}, {{S::OutOfRange, true}}, "backup", "empty"},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        const auto path = [&](const char* name) { return *name ? dir.File(name) : std::string(); };
        const std::vector<ItemStatus> got =
            ComputeItemStates(path(s.backup), path(s.target), s.items);
        ASSERT_EQ(got.size(), s.expect.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_STREQ(ItemStateName(got[i].state), ItemStateName(s.expect[i].state));
            EXPECT_EQ(got[i].attention, s.expect[i].attention);
            EXPECT_EQ(got[i].overlapping, s.expect[i].overlapping);
            EXPECT_EQ(got[i].oldOverwritten, s.expect[i].oldOverwritten);
            if (s.expect[i].targetHex) {
                EXPECT_EQ(got[i].targetHex, s.expect[i].targetHex);
            }
            if (s.expect[i].backupHex) {
                EXPECT_EQ(got[i].backupHex, s.expect[i].backupHex);
            }
        }
    }
    EXPECT_TRUE(ComputeItemStates(dir.File("backup"), dir.File("target"), {}).empty());
    std::string names; // scripts rely on them
    for (S state :
         {S::Applied, S::Original, S::Differs, S::OutOfRange, S::BackupMismatch, S::Unknown})
        names += ItemStateName(state) + std::string(" ");
    EXPECT_EQ(names, "applied original differs out-of-range backup-mismatch unknown ");
}

// A long list is read in shared pieces (an item may sit at the edge of one,
// start the next, be out of order, or end the file): each item must come out
// as it does when it is looked at alone.
TEST(ItemStates, LongListAsItemsAlone) {
    TempDir dir;
    const std::string backupPath = dir.File("backup.bin");
    const std::string targetPath = dir.File("target.bin");
    std::string backup(std::size_t(3) << 20, '\0');
    for (std::size_t i = 0; i < backup.size(); ++i)
        backup[i] = static_cast<char>(i * 131 + i / 977);
    std::string target = backup;
    PatchList items;
    std::uint32_t offset = 0;
    const std::uint32_t gaps[] = {0, 3, 700, 20000, 40000, 300000, 9000};
    for (int n = 0; offset + 64 < backup.size(); ++n) {
        const auto length = static_cast<std::uint32_t>(1 + n % 40);
        std::string oldHex = Pairs(0, 0);
        for (std::uint32_t k = 0; k < length; ++k)
            oldHex += Pairs(static_cast<std::uint8_t>(backup[offset + k]), 1) + " ";
        const std::string newHex = Pairs(n, static_cast<int>(length));
        if (n % 3 == 0) // applied
            for (std::uint32_t k = 0; k < length; ++k)
                target[offset + k] = static_cast<char>((n + k) & 0xFF);
        if (n % 7 == 0) // differs
            target[offset] = static_cast<char>(target[offset] ^ 0x5A);
        items.push_back(Item(offset, oldHex, newHex, n % 5 != 0));
        // Items 20 to 99 stand close together: more than one read's worth.
        offset += length + (n >= 20 && n < 100 ? 4000 : gaps[n % 7]);
    }
    const std::uint32_t last = static_cast<std::uint32_t>(backup.size()) - 2;
    items.push_back(Item(last,
                         Pairs(static_cast<std::uint8_t>(backup[last]), 1) + " " +
                             Pairs(static_cast<std::uint8_t>(backup[last + 1]), 1),
                         "01 02 03")); // reaches past the end
    ASSERT_GT(items.size(), 120u);
    std::swap(items[10], items[40]); // out of offset order
    std::swap(items[41], items[42]);
    WriteBytes(backupPath, backup);
    WriteBytes(targetPath, target);

    const std::vector<ItemStatus> together = ComputeItemStates(backupPath, targetPath, items);
    ASSERT_EQ(together.size(), items.size());
    // Leaving out the bytes shown changes neither the states nor the rest.
    const std::vector<ItemStatus> targetOnly =
        ComputeItemStates(backupPath, targetPath, items, FoundBytes::TargetOnly);
    const std::vector<ItemStatus> none =
        ComputeItemStates(backupPath, targetPath, items, FoundBytes::None);
    for (std::size_t i = 0; i < items.size(); ++i) {
        for (const ItemStatus* lean : {&targetOnly[i], &none[i]}) {
            EXPECT_EQ(lean->state, together[i].state) << "item " << i;
            EXPECT_EQ(lean->overlapping, together[i].overlapping) << "item " << i;
            EXPECT_EQ(lean->attention, together[i].attention) << "item " << i;
            EXPECT_EQ(lean->oldOverwritten, together[i].oldOverwritten) << "item " << i;
            EXPECT_EQ(lean->backupHex, "") << "item " << i;
        }
        EXPECT_EQ(targetOnly[i].targetHex, together[i].targetHex) << "item " << i;
        EXPECT_EQ(none[i].targetHex, "") << "item " << i;
    }
    std::size_t seen[6] = {};
    for (std::size_t i = 0; i < items.size(); ++i) {
        const PatchItem one[] = {items[i]};
        const ItemStatus alone = ComputeItemStates(backupPath, targetPath, one)[0];
        EXPECT_EQ(together[i].state, alone.state) << "item " << i;
        EXPECT_EQ(together[i].targetHex, alone.targetHex) << "item " << i;
        EXPECT_EQ(together[i].backupHex, alone.backupHex) << "item " << i;
        ++seen[static_cast<int>(alone.state)];
    }
    // The list holds every kind the files allow.
    for (S state : {S::Applied, S::Original, S::Differs, S::OutOfRange})
        EXPECT_GT(seen[static_cast<int>(state)], 0u) << ItemStateName(state);
}

std::string Hex(const std::array<std::uint8_t, 32>& digest) {
    FileFingerprint print;
    print.sha256 = digest;
    return print.Sha256Hex();
}

// Another program cutting the target shorter while the states are looked at
// makes the lost bytes unreadable, never ends the program.
TEST(ItemStates, TargetCutShorterDuringThePass) {
    TempDir dir;
    const std::string backup = dir.File("backup.bin");
    const std::string target = dir.File("target.bin");
    const std::string bytes(std::size_t(4) << 20, '\x11');
    WriteBytes(backup, bytes);
    WriteBytes(target, bytes);
    PatchList items;
    for (std::uint32_t offset = 0; offset < bytes.size(); offset += 4096)
        items.push_back(PatchItem{offset, "", "11", "22", 1});
    std::atomic<bool> stop{false};
    std::thread cutter([&] {
        const int fd = ::open(target.c_str(), O_WRONLY);
        while (!stop) {
            (void)::ftruncate(fd, 4096);
            (void)::ftruncate(fd, static_cast<off_t>(bytes.size()));
        }
        ::close(fd);
    });
    for (int round = 0; round < 200; ++round) {
        for (const ItemStatus& status : ComputeItemStates(backup, target, items))
            ASSERT_NE(status.state, ItemState::Applied);
    }
    stop = true;
    cutter.join();
}

TEST(Fingerprint, Sha256AndFiles) {
    EXPECT_EQ(Hex(Sha256("", 0)),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex(Sha256("abc", 3)),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::string big(3 * 1024 * 1024 + 5, '\0'); // more than one read block
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 4096);
    WriteBytes(dir.File("big"), big);
    WriteBytes(dir.File("empty"), "");
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const std::string& bytes : {big, std::string()}) {
        FileFingerprint print;
        ASSERT_TRUE(FingerprintFile(dir.File(bytes.empty() ? "empty" : "big"), &print));
        EXPECT_EQ(print.size, bytes.size());
        EXPECT_EQ(print.sha256, Sha256(bytes.data(), bytes.size()));
    }
    FileFingerprint untouched;
    untouched.size = 5;
    for (const char* refused : {"fifo", "missing", ""}) {
        FileFingerprint print = untouched;
        EXPECT_FALSE(FingerprintFile(*refused ? dir.File(refused) : dir.path(), &print)) << refused;
        EXPECT_EQ(print, untouched);
    }
}

TEST(Fingerprint, HexText) {
    FileFingerprint print;
    print.sha256 = Sha256("abc", 3);
    const std::string hex = print.Sha256Hex();
    std::string upper = hex;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    FileFingerprint parsed;
    ASSERT_TRUE(parsed.SetSha256Hex(upper));
    EXPECT_EQ(parsed.sha256, print.sha256);
    for (const std::string& bad : {hex.substr(1), hex + "0", std::string(), "g" + hex.substr(1),
                                   hex.substr(0, 63) + " ", " " + hex.substr(1)}) {
        FileFingerprint kept = print;
        EXPECT_FALSE(kept.SetSha256Hex(bad)) << bad;
        EXPECT_EQ(kept, print);
    }
}

} // namespace
