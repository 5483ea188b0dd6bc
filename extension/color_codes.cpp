#include "extension/color_codes.h"

#include <iterator>

namespace kelvo {
namespace video {

namespace {

// Indexed by host code. Host code 3 is reserved in H.273 and has no engine
// match, like any code beyond the table.
constexpr int kMatrixCodes[] = {0, 1, -1, 0, 2, 3, 4, 5, 6, 7, 8, 9, -1, -1, -1};
constexpr int kRangeCodes[] = {-1, 0, 1, -1};

template <typename Table>
int lookUp(const Table& table, int code) {
    if (code < 0 || code >= static_cast<int>(std::size(table))) return 0;
    return table[code];
}

}  // namespace

int engineMatrixCode(int hostMatrixCode) { return lookUp(kMatrixCodes, hostMatrixCode); }

int engineRangeCode(int hostRangeCode) { return lookUp(kRangeCodes, hostRangeCode); }

}  // namespace video
}  // namespace kelvo
