#include "cpu/worker_pool.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace kelvo {
namespace video {

namespace {

// How long a thread polls before it sleeps: a worker for the next pass of
// the frame (the caller's work between passes is mostly shorter), the caller
// for a worker's last piece. Sleeping and being woken costs about as much.
constexpr std::chrono::microseconds kSpin{30};

template <class Ready>
bool spinUntil(Ready&& ready) {
    const auto limit = std::chrono::steady_clock::now() + kSpin;
    for (;;) {
        // The clock is read rarely: under a hypervisor a read costs far more
        // than a poll.
        for (int i = 0; i < 256; ++i) {
            if (ready()) return true;
        }
        if (std::chrono::steady_clock::now() >= limit) return false;
    }
}

}  // namespace

WorkerPool::WorkerPool(int threads) {
    if (threads <= 0) {
        const unsigned hw = std::thread::hardware_concurrency();
        threads = hw == 0 ? 1 : static_cast<int>(std::min<unsigned>(hw, kMaxAutoThreads));
    }
    threads_ = std::min(threads, kMaxThreads);
    if (threads_ == 1) return;
    try {
        bands_.reset(new Band[static_cast<size_t>(threads_)]);
        workers_.reserve(static_cast<size_t>(threads_ - 1));
        for (int slot = 1; slot < threads_; ++slot) {
            workers_.emplace_back([this, slot] { workerLoop(slot); });
        }
    } catch (...) {
        // Short of memory or threads: run with the workers that started
        // rather than fail, or leave them running while the pool unwinds.
        std::lock_guard<std::mutex> lock(mutex_);
        threads_ = bands_ ? static_cast<int>(workers_.size()) + 1 : 1;
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    start_.notify_all();
    for (std::thread& t : workers_) {
        t.join();
    }
}

void WorkerPool::run(int rows, int align, BandFn fn, void* ctx) {
    if (rows <= 0) {
        return;
    }
    align = std::max(align, 1);
    if (threads_ == 1) {
        fn(ctx, 0, 0, rows);
        return;
    }
    // Bands in units of `align` rows, so that every band but the last starts
    // and ends on a multiple of it; pieces are whole units too.
    const int units = (rows + align - 1) / align;
    for (int b = 0; b < threads_; ++b) {
        const auto edge = [&](int band) {
            return std::min(
                rows, static_cast<int>(static_cast<long long>(units) * band / threads_) * align);
        };
        bands_[b].next.store(edge(b), std::memory_order_relaxed);
        bands_[b].end = edge(b + 1);
    }
    const int pieces = threads_ * kPiecesPerBand;
    piece_ = std::max(1, (units + pieces - 1) / pieces) * align;
    fn_ = fn;
    ctx_ = ctx;
    failed_.store(false, std::memory_order_relaxed);
    const uint64_t pass = (state_.load(std::memory_order_relaxed) >> kPassShift) + 1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.store(pass << kPassShift, std::memory_order_release);
    }
    start_.notify_all();
    work(0);
    // No worker joins from here on; those inside finish their pieces.
    const auto idle = [this] { return (state_.load(std::memory_order_acquire) & kInside) == 0; };
    if (state_.fetch_or(kClosed, std::memory_order_acq_rel) & kInside) {
        if (!spinUntil(idle)) {
            std::unique_lock<std::mutex> lock(mutex_);
            done_.wait(lock, idle);
        }
    }
    std::exception_ptr thrown;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        thrown = failure_;
        failure_ = nullptr;
    }
    if (thrown) std::rethrow_exception(thrown);
}

void WorkerPool::work(int slot) noexcept {
    for (int k = 0; k < threads_; ++k) {
        Band& band = bands_[(slot + k) % threads_];
        for (;;) {
            if (failed_.load(std::memory_order_relaxed)) return;
            const int begin = band.next.fetch_add(piece_, std::memory_order_relaxed);
            if (begin >= band.end) break;
            try {
                fn_(ctx_, slot, begin, std::min(begin + piece_, band.end));
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!failure_) failure_ = std::current_exception();
                failed_.store(true, std::memory_order_relaxed);
                return;
            }
        }
    }
}

void WorkerPool::workerLoop(int slot) {
    uint64_t seen = 0;
    const auto fresh = [&] {
        return (state_.load(std::memory_order_acquire) >> kPassShift) != seen;
    };
    for (;;) {
        if (!spinUntil(fresh)) {
            std::unique_lock<std::mutex> lock(mutex_);
            start_.wait(lock, [&] { return stop_ || fresh(); });
            if (stop_) return;
        }
        uint64_t s = state_.load(std::memory_order_acquire);
        seen = s >> kPassShift;
        // A pass the caller has closed is done without this thread.
        bool inside = false;
        while (!inside && !(s & kClosed) && (s >> kPassShift) == seen) {
            inside = state_.compare_exchange_weak(s, s + 1, std::memory_order_acq_rel,
                                                  std::memory_order_acquire);
        }
        if (!inside) continue;
        work(slot);
        const uint64_t left = state_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if ((left & kClosed) && (left & kInside) == 0) {
            // Taken and let go so that the caller cannot miss the wake-up
            // between its test and its wait.
            { std::lock_guard<std::mutex> lock(mutex_); }
            done_.notify_one();
        }
    }
}

}  // namespace video
}  // namespace kelvo
