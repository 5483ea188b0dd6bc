// A small pool of worker threads owned by one engine, which splits the rows
// of a pass into bands and runs them in parallel.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "system/row_splitter.h"

namespace kelvo {
namespace video {

// Threads are started in the constructor and joined in the destructor; no
// call allocates. `threads` 0 picks the processor count (capped at
// kMaxAutoThreads), 1 runs every pass inline on the caller's thread with no
// thread started; larger values are capped at kMaxThreads.
//
// forRows may be called from one thread at a time (the engine's); it returns
// only after every piece of the pass has finished, so the pool holds no
// reference to the callable afterwards. An exception thrown by a piece
// reaches the caller of forRows once the pieces under way are done; no piece
// starts after it. A pool whose threads cannot all start runs with those
// that did.
class WorkerPool final : public RowSplitter {
public:
    static constexpr int kMaxAutoThreads = 8;
    static constexpr int kMaxThreads = 64;
    // Pieces each band is cut into, so that a thread that finishes early
    // (its rows were cheaper, or another was late to wake) takes over the
    // rest of a slower band.
    static constexpr int kPiecesPerBand = 8;

    explicit WorkerPool(int threads = 1);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Bands a pass is split into (threads including the caller's).
    int threads() const { return threads_; }

    // Runs fn(slot, firstRow, endRow) over [0, rows) cut into pieces that
    // start at multiples of `align` (at least 1); together the pieces cover
    // every row once. `slot` (0 to threads() - 1) names the thread running
    // the piece: one slot's pieces never run at the same time, so a slot may
    // own scratch memory. Each thread starts on a band of its own, nearly
    // threads()-th of the rows and in order, and then takes pieces of the
    // bands not yet done. Slot 0 is the calling thread, which never waits
    // for a worker to wake: rows a sleeping worker has not started it runs
    // itself.
    template <class Fn>
    void forRows(int rows, int align, Fn&& fn) {
        run(rows, align, &invoke<typename std::remove_reference<Fn>::type>, &fn);
    }

    // The same for effects that know the pool only as a RowSplitter.
    int slots() const override { return threads_; }
    void split(int rows, int align, PieceFn fn, void* ctx) override { run(rows, align, fn, ctx); }

private:
    using BandFn = void (*)(void* ctx, int slot, int begin, int end);
    template <class Fn>
    static void invoke(void* ctx, int slot, int begin, int end) {
        (*static_cast<Fn*>(ctx))(slot, begin, end);
    }

    // One band's rows still to hand out. Apart, so that threads taking
    // pieces of different bands do not share a cache line.
    struct alignas(64) Band {
        std::atomic<int> next{0};
        int end = 0;
    };

    void run(int rows, int align, BandFn fn, void* ctx);
    // Takes pieces, own band first, until none are left or one threw.
    void work(int slot) noexcept;
    void workerLoop(int slot);

    // state_: the pass number above kPassShift; kClosed once the caller has
    // run out of pieces; below it the workers inside the pass.
    static constexpr int kPassShift = 32;
    static constexpr uint64_t kClosed = uint64_t{1} << 31;
    static constexpr uint64_t kInside = kClosed - 1;

    int threads_ = 1;
    std::vector<std::thread> workers_;
    std::unique_ptr<Band[]> bands_;
    std::mutex mutex_;
    std::condition_variable start_;
    std::condition_variable done_;
    std::atomic<uint64_t> state_{0};
    bool stop_ = false;  // under mutex_
    // The current pass, written before state_ moves on to it.
    BandFn fn_ = nullptr;
    void* ctx_ = nullptr;
    int piece_ = 1;
    std::atomic<bool> failed_{false};
    // The first exception a piece threw in the current pass (under mutex_);
    // run rethrows it on the caller's thread.
    std::exception_ptr failure_;
};

// Runs fn(slot, firstRow, endRow) over [0, rows) on the pool, or as one band
// on the calling thread when there is no pool.
template <class Fn>
void forRows(WorkerPool* pool, int rows, int align, Fn&& fn) {
    if (pool) {
        pool->forRows(rows, align, fn);
    } else {
        fn(0, 0, rows);
    }
}

}  // namespace video
}  // namespace kelvo
