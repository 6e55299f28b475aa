// Relocation: finding items again in another version of the file by their
// signatures. An item whose old bytes are at its offset stays; any other is
// looked for by its signature: found exactly once (with its old bytes there)
// it moves, otherwise it stays and says why. One pass over the file serves
// every item.
#pragma once

#include "engine/PatchItem.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class RelocationKind : std::uint8_t {
    InPlace,     // the old bytes are at the offset: nothing to do
    Moves,       // found once: newOffset is where the item belongs now
    NotFound,    // the signature occurs nowhere
    Ambiguous,   // the signature occurs `found` times
    NoSignature, // the item has none (or a malformed one, or no old bytes)
};

struct ItemRelocation {
    RelocationKind kind = RelocationKind::InPlace;
    std::uint32_t newOffset = 0;
    std::uint32_t found = 0; // occurrences of the signature
};

// One entry per item, in list order.
std::vector<ItemRelocation> PlanRelocation(std::span<const std::uint8_t> file,
                                           std::span<const PatchItem> items);

// The same for the file at path; false when it could not be read.
bool PlanRelocationFromFile(const std::string& path, std::span<const PatchItem> items,
                            std::vector<ItemRelocation>* plan);

// Relocating against a new backup copy before it is taken: the file at
// candidatePath with candidate's restores put in (see PlanBackupCandidate,
// made for the same items). The items candidate restores stay; complete
// tells whether every item candidate finds failing would move.
struct BackupCandidatePlan; // engine/Rebuild.h
struct CandidateRelocation {
    std::vector<ItemRelocation> plan;
    bool complete = false;
};
bool PlanCandidateRelocation(const std::string& candidatePath, std::span<const PatchItem> items,
                             const BackupCandidatePlan& candidate, CandidateRelocation* out);

// Moves the items the plan moves; returns how many moved.
std::size_t ApplyRelocation(const std::vector<ItemRelocation>& plan, PatchList& items);

// True when some item would move (or cannot be placed) in the plan.
bool RelocationChangesSomething(const std::vector<ItemRelocation>& plan);

// Stable names for scripts: "in-place", "moves", "not-found", "ambiguous",
// "no-signature".
const char* RelocationKindName(RelocationKind kind);
