// The list scrolls by whole rows: a request in pixels goes to the nearest number of rows,
// half a row and more rounding away from zero.
#pragma once

namespace velkor {

// The rows a scroll request of `pixels` moves; none when the row height is unknown.
constexpr int WholeRows(int pixels, int row_height) {
    if (row_height <= 0) {
        return 0;
    }
    const long long half = row_height / 2;
    const long long rounded = pixels < 0 ? pixels - half : pixels + half;
    return static_cast<int>(rounded / row_height);
}

}  // namespace velkor
