// A small pool of worker threads owned by one engine, which splits the rows
// of a pass into bands and runs them in parallel.
#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace kelvo {
namespace video {

// Threads are started in the constructor and joined in the destructor; no
// call allocates. `threads` 0 picks the processor count (capped at
// kMaxAutoThreads), 1 runs every pass inline on the caller's thread with no
// thread started; larger values are capped at kMaxThreads.
//
// forRows may be called from one thread at a time (the engine's); it returns
// only after every band has finished, so the pool holds no reference to the
// callable afterwards. An exception thrown by a band reaches the caller of
// forRows once all bands are done. A pool whose threads cannot all start
// runs with those that did.
class WorkerPool {
public:
    static constexpr int kMaxAutoThreads = 8;
    static constexpr int kMaxThreads = 64;

    explicit WorkerPool(int threads = 1);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Bands a pass is split into (threads including the caller's).
    int threads() const { return threads_; }

    // Runs fn(band, firstRow, endRow) over [0, rows) split into threads()
    // bands of nearly equal height, each starting at a multiple of `align`
    // (at least 1). Band 0 runs on the calling thread. Empty bands are
    // skipped.
    template <class Fn>
    void forRows(int rows, int align, Fn&& fn) {
        run(rows, align, &invoke<typename std::remove_reference<Fn>::type>, &fn);
    }

private:
    using BandFn = void (*)(void* ctx, int band, int begin, int end);
    template <class Fn>
    static void invoke(void* ctx, int band, int begin, int end) {
        (*static_cast<Fn*>(ctx))(band, begin, end);
    }

    void run(int rows, int align, BandFn fn, void* ctx);
    void bandRange(int band, int& begin, int& end) const;
    void workerLoop(int band);

    int threads_ = 1;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable start_;
    std::condition_variable done_;
    // The current pass, written under mutex_ before generation_ moves on.
    BandFn fn_ = nullptr;
    void* ctx_ = nullptr;
    int rows_ = 0;
    int align_ = 1;
    unsigned generation_ = 0;
    int pending_ = 0;
    bool stop_ = false;
    // The first exception a worker's band threw in the current pass; run
    // rethrows it on the caller's thread.
    std::exception_ptr failure_;
};

// Runs fn(band, firstRow, endRow) over [0, rows) on the pool, or as one band
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
