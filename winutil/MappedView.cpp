// Mapped views on POSIX: mmap, and a SIGBUS handler that ends a copy which
// touched a lost page.
#include "winutil/MappedView.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/mman.h>

namespace {

// The handler runs with SIGBUS unblocked (SA_NODEFER), so a jump out of it
// needs no signal-mask bookkeeping.
thread_local sigjmp_buf* volatile t_copyJump = nullptr;
// The handling before the first guard, put back when the last one ends.
struct sigaction g_previous {};
std::mutex g_guardsLock;
int g_guards = 0;

void OnBusError(int signal, siginfo_t*, void*) {
    if (t_copyJump)
        ::siglongjmp(*t_copyJump, 1);
    // Not one of ours: put the previous handling back; the faulting
    // instruction runs again and meets it.
    ::sigaction(signal, &g_previous, nullptr);
}

} // namespace

MappedView::~MappedView() {
    if (data_)
        ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

bool MappedView::Map(int fd, std::size_t length) {
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return false;
    data_ = static_cast<const std::uint8_t*>(map);
    size_ = length;
    return true;
}

void MappedView::Populate() const {
#ifdef MADV_POPULATE_READ
    ::madvise(const_cast<std::uint8_t*>(data_), size_, MADV_POPULATE_READ);
#endif
}

MapFaultGuard::MapFaultGuard() {
    const std::lock_guard<std::mutex> lock(g_guardsLock);
    if (g_guards == 0) {
        struct sigaction action {};
        action.sa_sigaction = &OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        if (::sigaction(SIGBUS, &action, &g_previous) != 0)
            return;
    }
    ++g_guards;
    installed_ = true;
}

MapFaultGuard::~MapFaultGuard() {
    const std::lock_guard<std::mutex> lock(g_guardsLock);
    if (installed_ && --g_guards == 0)
        ::sigaction(SIGBUS, &g_previous, nullptr);
}

bool CopyFromMap(std::uint8_t* out, const std::uint8_t* mapped, std::size_t length) {
    sigjmp_buf jump;
    if (sigsetjmp(jump, 0) != 0) {
        t_copyJump = nullptr;
        return false;
    }
    t_copyJump = &jump;
    // The copy must stay between the two stores (the handler reads them).
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(out, mapped, length);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_copyJump = nullptr;
    return true;
}
