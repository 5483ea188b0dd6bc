#include "cpu/worker_pool.h"

#include <algorithm>
#include <exception>

namespace kelvo {
namespace video {

WorkerPool::WorkerPool(int threads) {
    if (threads <= 0) {
        const unsigned hw = std::thread::hardware_concurrency();
        threads = hw == 0 ? 1 : static_cast<int>(std::min<unsigned>(hw, kMaxAutoThreads));
    }
    threads_ = std::min(threads, kMaxThreads);
    try {
        workers_.reserve(static_cast<size_t>(threads_ - 1));
        for (int band = 1; band < threads_; ++band) {
            workers_.emplace_back([this, band] { workerLoop(band); });
        }
    } catch (...) {
        // Short of memory or threads: run with the workers that started
        // rather than fail, or leave them running while the pool unwinds.
        std::lock_guard<std::mutex> lock(mutex_);
        threads_ = static_cast<int>(workers_.size()) + 1;
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

void WorkerPool::bandRange(int band, int& begin, int& end) const {
    // Split in units of `align` rows so that every band but the last starts
    // and ends on a multiple of it.
    const int units = (rows_ + align_ - 1) / align_;
    begin =
        std::min(rows_, static_cast<int>(static_cast<long long>(units) * band / threads_) * align_);
    end = std::min(
        rows_, static_cast<int>(static_cast<long long>(units) * (band + 1) / threads_) * align_);
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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fn_ = fn;
        ctx_ = ctx;
        rows_ = rows;
        align_ = align;
        pending_ = threads_ - 1;
        ++generation_;
    }
    start_.notify_all();
    int begin, end;
    bandRange(0, begin, end);
    std::exception_ptr thrown;
    if (begin < end) {
        try {
            fn(ctx, 0, begin, end);
        } catch (...) {
            thrown = std::current_exception();
        }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // The workers still read the pass: it may not unwind before they finish.
    done_.wait(lock, [this] { return pending_ == 0; });
    if (!thrown) thrown = failure_;
    failure_ = nullptr;
    if (thrown) std::rethrow_exception(thrown);
}

void WorkerPool::workerLoop(int band) {
    unsigned seen = 0;
    for (;;) {
        BandFn fn;
        void* ctx;
        int begin, end;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            start_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) {
                return;
            }
            seen = generation_;
            fn = fn_;
            ctx = ctx_;
            bandRange(band, begin, end);
        }
        std::exception_ptr thrown;
        if (begin < end) {
            try {
                fn(ctx, band, begin, end);
            } catch (...) {
                thrown = std::current_exception();
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (thrown && !failure_) failure_ = thrown;
            --pending_;
        }
        done_.notify_one();
    }
}

}  // namespace video
}  // namespace kelvo
