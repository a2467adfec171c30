#include "app/screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <atomic>

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

QFont ToolFont(int pixel_height) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixel_height > 0 ? pixel_height : 1);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::SansSerif);  // a metric-compatible face where Arial is missing
    return font;
}

}  // namespace velkor
