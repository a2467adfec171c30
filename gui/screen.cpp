#include "gui/screen.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

namespace velkor {
namespace {

std::atomic<int> g_override_width{0};
std::atomic<int> g_override_height{0};

}  // namespace

ScreenSize PrimaryScreenSize() {
    if (g_override_width.load() > 0 && g_override_height.load() > 0) {
        return {g_override_width.load(), g_override_height.load()};
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect geometry = screen->geometry();
        return {geometry.width(), geometry.height()};
    }
    return {};
}

void OverridePrimaryScreenSize(ScreenSize size) {
    g_override_width = size.width;
    g_override_height = size.height;
}

QFont ToolFont(int cell_height) {
    static std::mutex mutex;
    static std::map<int, int> pixel_size_of_cell;  // the face does not change during a run

    QFont font(QStringLiteral("Arial"));
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::SansSerif);  // a metric-compatible face where Arial is missing
    const int cell = std::max(cell_height, 1);
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = pixel_size_of_cell.find(cell); found != pixel_size_of_cell.end()) {
        font.setPixelSize(found->second);
        return font;
    }
    const auto fits = [&font, cell](int pixel_size) {
        font.setPixelSize(pixel_size);
        const QFontMetrics metrics(font);
        return metrics.ascent() + metrics.descent() <= cell;
    };
    // An em is usually a little smaller than the cell, so the search starts at the cell and
    // walks down; a face whose cell is smaller than its em walks up instead.
    int size = cell;
    if (fits(size)) {
        while (size < 4 * cell && fits(size + 1)) {
            ++size;
        }
    } else {
        while (size > 1 && !fits(size - 1)) {
            --size;
        }
        size = std::max(size - 1, 1);
    }
    pixel_size_of_cell.emplace(cell, size);
    font.setPixelSize(size);
    return font;
}

}  // namespace velkor
