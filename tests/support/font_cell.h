// The check that a font was sized by its cell: "n pixels high" means ascent plus descent.
#pragma once

#include <QFont>
#include <QFontMetrics>

namespace velkor::testing {

// True when `font` has the largest pixel size whose ascent plus descent fits in `cell`.
inline bool IsLargestWithinCell(QFont font, int cell) {
    const auto cell_of = [&font](int pixel_size) {
        font.setPixelSize(pixel_size);
        const QFontMetrics metrics(font);
        return metrics.ascent() + metrics.descent();
    };
    const int size = font.pixelSize();
    return cell_of(size) <= cell && cell_of(size + 1) > cell;
}

}  // namespace velkor::testing
