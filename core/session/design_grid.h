// Every window is laid out on an 800 x 480 grid scaled to the screen, each product truncated
// on its own, so that layouts stay exact on any screen size.
#pragma once

namespace velkor {

struct ScreenSize {
    int width = 800;
    int height = 480;
};

class DesignGrid {
  public:
    explicit DesignGrid(ScreenSize screen) : screen_(screen) {}

    // An x or a width of n grid units, in pixels.
    int X(int n) const { return screen_.width * n / 800; }
    // A y or a height of n grid units, in pixels.
    int Y(int n) const { return screen_.height * n / 480; }

    int width() const { return screen_.width; }
    int height() const { return screen_.height; }
    // The height of the tool's font, ascent plus descent, in pixels: 28 units.
    int FontPixelHeight() const { return screen_.height * 28 / 480; }

  private:
    ScreenSize screen_;
};

}  // namespace velkor
