// Signatures and relocation on data files: the window grows until it is
// unique, and items follow inserted and deleted bytes or say why they cannot.
#include "engine/Relocate.h"
#include "engine/PatternSearch.h"
#include "engine/Signature.h"
#include "engine/SignatureScan.h"

#include "tests/support/TestFiles.h"
#include "winutil/UniqueFd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

PatchItem ItemAt(const Bytes& file, std::uint32_t offset, std::size_t length) {
    PatchItem item;
    item.offset = offset;
    item.description = "item";
    item.newHex = "00";
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < length; ++i) {
        item.oldHex += kDigits[file[offset + i] >> 4];
        item.oldHex += kDigits[file[offset + i] & 15];
        item.oldHex += ' ';
    }
    return item;
}

TEST(UpdateSignatures, ShortestUniqueWindow) {
    // Random bytes: 4 bytes of context after the item already make it unique.
    const Bytes random = RandomBytes(1 << 16, 1);
    // Eight 100-byte copies of one block, with a unique byte 40 bytes after
    // the item in one of them: the window must reach it.
    Bytes periodic;
    const Bytes block = RandomBytes(100, 2);
    for (int i = 0; i < 8; ++i)
        periodic.insert(periodic.end(), block.begin(), block.end());
    periodic[350 + 40] ^= 0xFF;
    struct Case {
        const char* name;
        const Bytes* file;
        std::uint32_t offset;
        std::size_t length, signatureLength, at;
    } cases[] = {
        {"random", &random, 1000, 4, 8, 0},
        {"periodic", &periodic, 350, 2, 2 + 64, 0},
        {"at the end", &random, (1 << 16) - 2, 2, 6, 4}, // clipped: context before
    };
    for (const Case& c : cases) {
        PatchList items{ItemAt(*c.file, c.offset, c.length)};
        EXPECT_EQ(UpdateSignatures(*c.file, items), 1u) << c.name;
        const MaskedPattern signature = ParseSearchPattern(items[0].signature.c_str(), 4096);
        EXPECT_EQ(signature.size(), c.signatureLength) << c.name;
        EXPECT_EQ(items[0].signatureAt, c.at) << c.name;
        std::vector<std::uint32_t> found;
        FindMaskedInBuffer(c.file->data(), c.file->size(), signature, &found);
        EXPECT_EQ(found, std::vector<std::uint32_t>{c.offset - items[0].signatureAt}) << c.name;
        EXPECT_TRUE(SignatureFits(*c.file, items[0])) << c.name;
        EXPECT_EQ(UpdateSignatures(*c.file, items), 0u) << c.name << ": it still fits";
    }
    // Old bytes the backup does not hold at the offset get no signature.
    PatchList wrong{ItemAt(random, 1000, 4)};
    wrong[0].offset = 2000;
    EXPECT_EQ(UpdateSignatures(random, wrong), 0u);
    EXPECT_TRUE(wrong[0].signature.empty());
}

// A backup of repeated blocks has no unique window for its items: they are
// marked for that backup and passed over until the backup, the offset or the
// old bytes change.
TEST(UpdateSignaturesFromFile, NoUniqueWindowIsRememberedPerBackup) {
    const Bytes block = RandomBytes(64, 4);
    std::string periodic;
    for (int i = 0; i < 64; ++i)
        periodic.append(block.begin(), block.end());
    const Bytes bytes(periodic.begin(), periodic.end());
    TempDir dir;
    const std::string backup = dir.File("backup.bin");
    WriteBytes(backup, periodic);
    PatchList items{ItemAt(bytes, 1000, 4), ItemAt(bytes, 2000, 4)};
    std::size_t changed = 0;
    ASSERT_TRUE(UpdateSignaturesFromFile(backup, items, &changed));
    EXPECT_EQ(changed, 2u);
    FileInfo info;
    ASSERT_TRUE(UniqueFd(OpenRegularForReading(backup.c_str(), &info)).valid());
    for (const PatchItem& item : items) {
        EXPECT_TRUE(item.signature.empty());
        EXPECT_TRUE(MarkedNoWindow(item, BackupFileTag(info)));
    }
    ASSERT_TRUE(UpdateSignaturesFromFile(backup, items, &changed));
    EXPECT_EQ(changed, 0u) << "tried again on the same backup";

    // Another offset (the same old bytes, one block on) is tried again.
    items[1].offset += 64;
    ASSERT_TRUE(UpdateSignaturesFromFile(backup, items, &changed));
    EXPECT_EQ(changed, 1u);
    // A new backup with one byte changed after the first item: it gets a
    // signature.
    std::string unique = periodic;
    unique[1010] ^= 0x5A;
    WriteBytes(dir.File("next.bin"), unique);
    std::filesystem::rename(dir.File("next.bin"), backup);
    ASSERT_TRUE(UpdateSignaturesFromFile(backup, items, &changed));
    EXPECT_EQ(changed, 2u);
    EXPECT_FALSE(items[0].signature.empty());
    EXPECT_TRUE(items[1].signature.empty());
}

TEST(PlanRelocation, DataFileVersions) {
    const Bytes v1 = RandomBytes(1 << 16, 3);
    PatchList items{ItemAt(v1, 1000, 4), ItemAt(v1, 5000, 3)};
    ASSERT_EQ(UpdateSignatures(v1, items), 2u);
    const auto edit = [&v1](auto change) {
        Bytes v2 = v1;
        change(v2);
        return v2;
    };
    const Bytes inserted = edit([](Bytes& b) { b.insert(b.begin() + 500, 100, 0x5A); });
    const Bytes deleted = edit([](Bytes& b) { b.erase(b.begin() + 200, b.begin() + 250); });
    // The bytes around the first item changed, the second moved by one.
    const Bytes changed = edit([](Bytes& b) {
        for (int i = 990; i < 1010; ++i)
            b[i] ^= 0x11;
        b.insert(b.begin() + 3000, 0x00);
    });
    // The first 8000 bytes once more at the end, and one byte in front: both
    // places occur twice.
    const Bytes twice = edit([](Bytes& b) {
        b.insert(b.end(), b.begin(), b.begin() + 8000);
        b.insert(b.begin(), 0x00);
    });
    using K = RelocationKind;
    struct Case {
        const char* name;
        const Bytes* file;
        ItemRelocation first, second;
    } cases[] = {
        {"unchanged", &v1, {K::InPlace, 0, 0}, {K::InPlace, 0, 0}},
        {"bytes inserted", &inserted, {K::Moves, 1100, 1}, {K::Moves, 5100, 1}},
        {"bytes deleted", &deleted, {K::Moves, 950, 1}, {K::Moves, 4950, 1}},
        {"item inside changed bytes", &changed, {K::NotFound, 0, 0}, {K::Moves, 5001, 1}},
        {"signature twice", &twice, {K::Ambiguous, 0, 2}, {K::Ambiguous, 0, 2}},
    };
    for (const Case& c : cases) {
        const std::vector<ItemRelocation> plan = PlanRelocation(*c.file, items);
        ASSERT_EQ(plan.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            const ItemRelocation& want = i == 0 ? c.first : c.second;
            EXPECT_EQ(plan[i].kind, want.kind) << c.name << " item " << i;
            EXPECT_EQ(plan[i].newOffset, want.newOffset) << c.name << " item " << i;
            EXPECT_EQ(plan[i].found, want.found) << c.name << " item " << i;
        }
    }
    // An item without a signature cannot be placed; one moved stays moved.
    PatchList copy = items;
    copy[0].signature.clear();
    const std::vector<ItemRelocation> plan = PlanRelocation(inserted, copy);
    EXPECT_EQ(plan[0].kind, RelocationKind::NoSignature);
    EXPECT_EQ(ApplyRelocation(plan, copy), 1u);
    EXPECT_EQ(copy[1].offset, 5100u);
    EXPECT_EQ(PlanRelocation(inserted, copy)[1].kind, RelocationKind::InPlace);
}

// The one-pass count of many patterns, stepping over positions where the
// fixed runs allow, against a naive count at every start: files of few
// distinct bytes, so that patterns occur often, overlap and sit at the ends.
TEST(CountPatterns, SameCountsAsNaiveCountWholeAndInBlocks) {
    std::mt19937 random(17);
    for (int round = 0; round < 200; ++round) {
        Bytes file(50 + random() % 400);
        for (auto& b : file)
            b = static_cast<std::uint8_t>(random() % (round % 2 ? 2 : 4));
        std::vector<ScanPattern> patterns(1 + random() % 6);
        for (ScanPattern& p : patterns) {
            const std::size_t size = 4 + random() % 16;
            const std::size_t at = random() % (file.size() - size);
            p.value.assign(file.begin() + at, file.begin() + at + size);
            p.mask.assign(size, 0xFF);
            for (std::size_t i = 0; i < size; ++i)
                if (random() % 5 == 0)
                    p.mask[i] = p.value[i] = 0;
            const std::size_t inner = random() % (size - 3);
            if (!ChooseAnchor(p.value.data(), p.mask.data(), 0, size, inner, inner + 4,
                              &p.anchorAt))
                p.anchorAt = 0; // no four fixed bytes: never counted
            // Nested windows around the anchor, up to the whole pattern.
            std::size_t begin = p.anchorAt - std::min<std::size_t>(p.anchorAt, random() % 3);
            std::size_t end = std::min(size, p.anchorAt + 4 + random() % 3);
            p.windows.push_back({begin, end});
            while (begin > 0 || end < size) {
                begin -= std::min<std::size_t>(begin, random() % 4);
                end = std::min(size, end + random() % 4);
                p.windows.push_back({begin, end});
            }
        }
        const auto counts = CountPatterns(file, patterns);
        const auto twice = CountPatterns(file, patterns, 2); // only 0, 1 or "2 or more"
        // Read in blocks of a few positions, so that occurrences straddle
        // every kind of block boundary.
        const std::size_t block = 1 + random() % 24;
        const ScanReader read = [&](std::uint64_t at, std::uint8_t* out, std::size_t size) {
            EXPECT_LE(at + size, file.size());
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), size, out);
            return true;
        };
        std::vector<std::vector<WindowCount>> blocks, blocksTwice;
        ASSERT_TRUE(
            CountPatternsInBlocks(file.size(), read, patterns, 0xFFFFFFFFu, &blocks, block));
        ASSERT_TRUE(CountPatternsInBlocks(file.size(), read, patterns, 2, &blocksTwice, block));
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            const ScanPattern& p = patterns[i];
            const bool anchored = (p.mask[p.anchorAt] & p.mask[p.anchorAt + 1] &
                                   p.mask[p.anchorAt + 2] & p.mask[p.anchorAt + 3]) == 0xFF;
            for (std::size_t k = 0; k < p.windows.size(); ++k) {
                const auto [begin, end] = p.windows[k];
                WindowCount want;
                for (std::size_t at = 0; anchored && at + (end - begin) <= file.size(); ++at) {
                    bool equal = true;
                    for (std::size_t j = begin; j < end && equal; ++j)
                        equal = (file[at + j - begin] & p.mask[j]) == p.value[j];
                    if (equal && want.count++ == 0)
                        want.firstAt = at;
                }
                EXPECT_EQ(counts[i][k].count, want.count) << "round " << round << " window " << k;
                EXPECT_EQ(blocks[i][k].count, want.count)
                    << "round " << round << " block " << block;
                EXPECT_EQ(std::min(twice[i][k].count, 2u), std::min(want.count, 2u))
                    << "round " << round;
                EXPECT_EQ(std::min(blocksTwice[i][k].count, 2u), std::min(want.count, 2u))
                    << "round " << round << " block " << block;
                if (want.count != 0) {
                    EXPECT_EQ(counts[i][k].firstAt, want.firstAt) << "round " << round;
                    EXPECT_EQ(blocks[i][k].firstAt, want.firstAt)
                        << "round " << round << " block " << block;
                }
            }
        }
    }
}

} // namespace
