// How far a long step has come, and the user's wish to stop it. No Qt: the
// window runs a long step (the rebuild, a backup copy, an import, an export,
// a comparison of two files, a search) on a thread of its own and watches it
// through a Progress; the command line runs the same steps without one.
//
// Rules:
// - The thread that runs a step installs its Progress with a ProgressScope;
//   the step's code reaches it through the free functions below, which do
//   nothing when no scope is installed. A helper thread of the step (such as
//   the rebuild's hasher) takes CurrentProgress() when it is made.
// - Amounts are bytes a step reads or writes; a step adds what it expects to
//   the total before it starts on it, and advances as it goes. The total may
//   grow while the step runs; a total of 0 means the amount is not known.
// - A step looks at the cancel flag only where it has written nothing yet, or
//   where what it wrote is still a temporary file that it can drop (before the
//   rename of SafeFile). Once a file of the user's has been touched, the step
//   runs to its end: cancelling leaves every file as it was, or does nothing.
//   A cancelled step reports that it was cancelled, not a failure.
// - Every member may be called from any thread at any time.
#pragma once

#include <atomic>
#include <cstdint>

class Progress {
  public:
    void AddTotal(std::uint64_t amount) { total_.fetch_add(amount, std::memory_order_relaxed); }
    void Advance(std::uint64_t amount) { done_.fetch_add(amount, std::memory_order_relaxed); }
    std::uint64_t Total() const { return total_.load(std::memory_order_relaxed); }
    std::uint64_t Done() const { return done_.load(std::memory_order_relaxed); }
    // Done out of total in thousandths, at most 1000; -1 while the total is
    // not known.
    int Permille() const {
        const std::uint64_t total = Total();
        if (total == 0)
            return -1;
        const std::uint64_t done = Done();
        return done >= total ? 1000 : static_cast<int>(done * 1000 / total);
    }

    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

  private:
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::uint64_t> done_{0};
    std::atomic<bool> cancelled_{false};
};

namespace progress_detail {
inline thread_local Progress* current = nullptr;
}

// The Progress installed on this thread, or null.
inline Progress* CurrentProgress() {
    return progress_detail::current;
}

// Installs progress as this thread's for its lifetime (scopes nest).
class ProgressScope {
  public:
    explicit ProgressScope(Progress* progress) : previous_(progress_detail::current) {
        progress_detail::current = progress;
    }
    ~ProgressScope() { progress_detail::current = previous_; }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

  private:
    Progress* previous_;
};

// The step on this thread: whether its user asked to stop it, and its amounts.
inline bool StepCancelled(const Progress* progress = CurrentProgress()) {
    return progress != nullptr && progress->Cancelled();
}
inline void StepAddTotal(std::uint64_t amount, Progress* progress = CurrentProgress()) {
    if (progress != nullptr)
        progress->AddTotal(amount);
}
inline void StepAdvance(std::uint64_t amount, Progress* progress = CurrentProgress()) {
    if (progress != nullptr)
        progress->Advance(amount);
}
