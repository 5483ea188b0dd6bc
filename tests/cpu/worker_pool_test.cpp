#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <vector>

#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {
namespace {

// Every row is visited exactly once, pieces start on the alignment, one
// slot's pieces never overlap in time (slots own scratch rows), and a pool
// runs many passes in a row (the per-frame pattern).
TEST(WorkerPool, VisitsEveryRowOnceInAlignedBands) {
    struct Row {
        int threads, rows, align;
    };
    const Row rows[] = {{1, 7, 1}, {2, 1, 1}, {2, 7, 2}, {3, 720, 2}, {4, 3, 2}, {0, 1081, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.threads << " threads, " << row.rows << " rows");
        WorkerPool pool(row.threads);
        EXPECT_GE(pool.threads(), 1);
        for (int pass = 0; pass < 50; ++pass) {
            std::vector<std::atomic<int>> visits(row.rows);
            std::atomic<int> misaligned{0}, overlapping{0};
            std::vector<std::atomic<int>> busy(pool.threads());
            pool.forRows(row.rows, row.align, [&](int slot, int begin, int end) {
                if (begin % row.align != 0 || slot < 0 || slot >= pool.threads()) {
                    ++misaligned;
                    return;
                }
                if (busy[slot]++ != 0) ++overlapping;
                for (int r = begin; r < end; ++r) ++visits[r];
                --busy[slot];
            });
            EXPECT_EQ(misaligned.load(), 0);
            EXPECT_EQ(overlapping.load(), 0);
            for (int r = 0; r < row.rows; ++r) ASSERT_EQ(visits[r].load(), 1) << "row " << r;
        }
    }
}

// A piece that runs out of memory, wherever it lies and whichever thread
// runs it, reaches the caller only once no piece is running any more, and
// the pool goes on.
TEST(WorkerPool, APieceThatThrowsReachesTheCallerAfterTheOthers) {
    WorkerPool pool(3);
    for (int throwing : {0, 15, 29}) {
        std::atomic<int> running{0};
        EXPECT_THROW(pool.forRows(30, 1,
                                  [&](int, int begin, int end) {
                                      ++running;
                                      const bool fails = begin <= throwing && throwing < end;
                                      // Long enough for the others to be under way.
                                      for (volatile int spin = 0; spin < 100000; spin = spin + 1) {
                                      }
                                      --running;
                                      if (fails) throw std::bad_alloc();
                                  }),
                     std::bad_alloc);
        EXPECT_EQ(running.load(), 0);
        std::atomic<int> rows{0};
        pool.forRows(30, 1, [&](int, int begin, int end) { rows += end - begin; });
        EXPECT_EQ(rows.load(), 30);
    }
}

TEST(WorkerPool, OneThreadRunsOnTheCaller) {
    WorkerPool pool(1);
    const std::thread::id caller = std::this_thread::get_id();
    bool inline_ = false;
    pool.forRows(10, 1, [&](int, int, int) { inline_ = std::this_thread::get_id() == caller; });
    EXPECT_TRUE(inline_);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
