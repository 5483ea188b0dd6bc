// Reading and writing frames on threads of their own while the caller
// processes, so that the tool's input and output use a core that the engine
// leaves free: frame N+1 is read and frame N-1 written while frame N is
// processed. Three frame buffers go round; none is allocated once each has
// held a frame.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kelvo {
namespace enhance {

// A first-in first-out queue of at most `capacity` items between threads.
// push waits while it is full, pop while it is empty. After close, push
// refuses and pop hands out what is left, then refuses. Thread-safe.
template <class T>
class BoundedQueue {
public:
    explicit BoundedQueue(size_t capacity) : items_(capacity) {}

    bool push(T item) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return closed_ || count_ < items_.size(); });
        if (closed_) return false;
        items_[(first_ + count_++) % items_.size()] = std::move(item);
        changed_.notify_all();
        return true;
    }
    bool pop(T* item) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return closed_ || count_ > 0; });
        if (count_ == 0) return false;
        *item = std::move(items_[first_]);
        first_ = (first_ + 1) % items_.size();
        --count_;
        changed_.notify_all();
        return true;
    }
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<T> items_;
    size_t first_ = 0;
    size_t count_ = 0;
    bool closed_ = false;
};

// One frame in flight on each side of the caller's processing. The caller
// takes frames with next(), processes them in place and hands each on with
// done(), on one thread. The source runs on the reading thread, the sink on
// the writing thread, each frame in order.
class FramePipeline {
public:
    // Fills the buffer with the next frame. False ends the input: at its
    // clean end with `error` left empty, or on a failure with `error` set.
    using Source = std::function<bool(std::vector<uint8_t>* frame, std::string* error)>;
    // Writes a frame; false when it could not, which ends the writing.
    using Sink = std::function<bool(const std::vector<uint8_t>& frame)>;

    FramePipeline(Source source, Sink sink) : source_(std::move(source)), sink_(std::move(sink)) {
        for (int slot = 0; slot < kSlots; ++slot) free_.push(slot);
        reader_ = std::thread([this] { read(); });
        writer_ = std::thread([this] { write(); });
    }
    // Writes what was handed on, then stops both threads; a frame being read
    // is finished first.
    ~FramePipeline() { finish(); }
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // The next frame, owned by the pipeline until done(); null at the end of
    // the input, after which readError() says whether that end was a failure.
    std::vector<uint8_t>* next() { return filled_.pop(&current_) ? &frames_[current_] : nullptr; }
    // Hands the frame from next() on to be written. False once writing has
    // failed: stop, and finish() tells.
    bool done() { return written_.push(current_); }
    // Waits until every frame handed on is written and both threads have
    // stopped. False if a frame could not be written. May be called again.
    bool finish() {
        written_.close();
        if (writer_.joinable()) writer_.join();
        free_.close();
        filled_.close();
        if (reader_.joinable()) reader_.join();
        return !writeFailed_;
    }
    // Why the input ended early; empty at its clean end. Valid once next()
    // has returned null.
    const std::string& readError() const { return readError_; }

private:
    static constexpr int kSlots = 3;  // reading, processing, writing

    void read() {
        int slot;
        while (free_.pop(&slot) && source_(&frames_[slot], &readError_)) {
            if (!filled_.push(slot)) return;
        }
        filled_.close();
    }
    void write() {
        int slot;
        while (written_.pop(&slot)) {
            if (!writeFailed_ && sink_ && !sink_(frames_[slot])) {
                writeFailed_ = true;
                written_.close();  // done() refuses from now on
            }
            free_.push(slot);
        }
    }

    Source source_;
    Sink sink_;
    std::vector<uint8_t> frames_[kSlots];
    BoundedQueue<int> free_{kSlots};
    BoundedQueue<int> filled_{1};
    BoundedQueue<int> written_{1};
    int current_ = -1;
    std::string readError_;     // the reading thread's until filled_ is closed
    bool writeFailed_ = false;  // the writing thread's until it is joined
    std::thread reader_, writer_;
};

}  // namespace enhance
}  // namespace kelvo
