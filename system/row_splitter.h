// How an effect that works on the frame's planes splits its rows over the
// backend's threads, without knowing the backend. The CPU backend's worker
// pool is one; an effect given none runs its rows on the calling thread.
#pragma once

#include <type_traits>

namespace kelvo {
namespace video {

class RowSplitter {
public:
    using PieceFn = void (*)(void* ctx, int slot, int begin, int end);
    // Threads a pass may run on at once; slots are 0 to slots() - 1.
    virtual int slots() const = 0;
    // Runs fn over [0, rows) in pieces starting at multiples of `align`, each
    // row once, and returns when all are done. Pieces of one slot never run
    // at the same time. An exception thrown by a piece reaches the caller.
    virtual void split(int rows, int align, PieceFn fn, void* ctx) = 0;

protected:
    ~RowSplitter() = default;
};

// fn(slot, firstRow, endRow) over [0, rows) through the splitter, or as one
// piece on the calling thread when there is none.
template <class Fn>
void splitRows(RowSplitter* splitter, int rows, int align, Fn&& fn) {
    using F = typename std::remove_reference<Fn>::type;
    if (!splitter) {
        if (rows > 0) fn(0, 0, rows);
        return;
    }
    splitter->split(
        rows, align,
        [](void* ctx, int slot, int begin, int end) { (*static_cast<F*>(ctx))(slot, begin, end); },
        &fn);
}

}  // namespace video
}  // namespace kelvo
