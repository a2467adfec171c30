#include "session/main_layout.h"

#include <array>
#include <span>

#include "session/control_ids.h"
#include "settings/unit_types.h"

namespace velkor {
namespace {

struct PanelRow {
    int label;
    int list;
};

constexpr PanelRow kTftRow{kIdTftLabel, kIdTftList};
constexpr PanelRow kDvdRow{kIdDvdLabel, kIdDvdList};
constexpr PanelRow kRadioRow{kIdRadioLabel, kIdRadioList};
constexpr PanelRow kAudioRow{kIdAudioLabel, kIdAudioList};
constexpr PanelRow kTvRow{kIdTvLabel, kIdTvList};
constexpr PanelRow kHbrakeRow{kIdHbrakeLabel, kIdHbrakeList};

int FirstRowTop(const DesignGrid& g) {
    return g.Y(5) + g.Y(40);
}

}  // namespace

int PanelLeft(const DesignGrid& g) {
    return g.width() - g.X(120) - g.X(150) - g.X(10);
}

std::vector<Placement> InitialMainLayout(const DesignGrid& g) {
    const int x0 = PanelLeft(g);
    const int y1 = FirstRowTop(g);
    const int y2 = y1 + g.Y(40);
    const int y3 = y2 + g.Y(40);
    const int yp = y1 + g.Y(340);
    const int yb = g.height() - g.Y(10) - g.Y(60);
    const int xq = g.width() - g.X(10) - g.X(90);
    const int list_x = x0 + g.X(120);
    const int full_width = g.width() - g.X(5) - g.X(10);
    constexpr int kProgressHeight = 15;  // pixels on every screen

    auto label = [&](int id, int y, bool shown) {
        return Placement{id, x0, y, g.X(120), g.Y(40), shown};
    };
    auto list = [&](int id, int y, bool shown) {
        return Placement{id, list_x, y, g.X(150), g.Y(400), shown};
    };
    auto button = [&](int id, int x, bool shown) {
        return Placement{id, x, yb, g.X(90), g.Y(60), shown};
    };
    auto checksum = [&](int id, int x, int y, const char* text) {
        return Placement{id, x, y, g.X(200), g.Y(30), true, false, text};
    };

    return {
        {kIdTitle, g.X(5), g.Y(5), g.X(400), g.Y(40), true, true, "Velkor Tool"},
        {kIdTypeDisplay, g.X(400) + g.X(5), g.Y(5), g.X(300), g.Y(40), true, true, "UNKNOWN"},
        label(kIdTvLabel, y1, true),
        list(kIdTvList, y1, true),
        label(kIdHbrakeLabel, y2, true),
        list(kIdHbrakeList, y2, true),
        label(kIdRdsLabel, y3, false),
        list(kIdRdsList, y3, false),
        label(kIdTftLabel, y3, false),
        list(kIdTftList, y3, false),
        label(kIdRadioLabel, y3, false),
        list(kIdRadioList, y3, false),
        label(kIdDvdLabel, y3, false),
        list(kIdDvdList, y3, false),
        label(kIdAudioLabel, y3, false),
        list(kIdAudioList, y3, false),
        {kIdApply, x0, y3 + g.Y(40), g.X(90), g.Y(60)},
        {kIdLog, g.X(5), y1, x0 - g.X(5), g.Y(340)},
        {kIdProgress, g.X(5), yp, full_width, kProgressHeight},
        {kIdNotify, g.X(5), yp + kProgressHeight, full_width, g.Y(40), false},
        {kIdRadioR3360, g.X(100), yp + kProgressHeight, full_width, g.Y(40), false},
        button(kIdQuit, xq, true),
        button(kIdUpdate, xq - g.X(90), false),
        button(kIdOpen, xq - 2 * g.X(90), false),
        button(kIdContinue, xq - 2 * g.X(90), false),
        button(kIdRetry, xq - 2 * g.X(90), false),
        button(kIdConfig, xq - 3 * g.X(90), false),
        checksum(kIdMcuChecksumLabel, g.X(5), yb, "MCU Checksum: "),
        checksum(kIdMcuChecksum, g.X(200) + g.X(5), yb, " "),
        checksum(kIdFileChecksumLabel, g.X(5), yb + g.Y(30), "File Checksum: "),
        checksum(kIdFileChecksum, g.X(200) + g.X(5), yb + g.Y(30), " "),
    };
}

PanelLayout OptionPanelLayout(const DesignGrid& g, int app_type, int mcu_type, bool slave) {
    PanelLayout layout;
    layout.log_height = g.Y(340);
    if (app_type == kAppTypeUndetermined || mcu_type == kMcuTypeUndetermined || slave) {
        layout.log_width = g.width() - g.X(5) - g.X(10);
        return layout;
    }
    const int x0 = PanelLeft(g);
    layout.log_width = x0 - g.X(5);

    const bool full =
        mcu_type == kMcuTypeM3 || (mcu_type == kMcuTypeStm8 && app_type == kAppTypeJ5);
    static constexpr std::array<PanelRow, 6> kFullRows = {kTftRow,   kDvdRow, kRadioRow,
                                                          kAudioRow, kTvRow,  kHbrakeRow};
    static constexpr std::array<PanelRow, 2> kShortRows = {kTvRow, kHbrakeRow};
    static constexpr std::array<PanelRow, 4> kShortHiddenRows = {kTftRow, kDvdRow, kRadioRow,
                                                                 kAudioRow};

    int y = FirstRowTop(g);
    auto add_row = [&](const PanelRow& row, bool shown) {
        layout.controls.push_back({row.label, x0, y, g.X(120), g.Y(40), shown});
        // A list's height reaches the bottom of the screen when it drops down.
        layout.controls.push_back({row.list, x0 + g.X(120), y, g.X(150), g.height() - y, shown});
    };
    int last_row_y = y;
    for (const PanelRow& row :
         full ? std::span<const PanelRow>(kFullRows) : std::span<const PanelRow>(kShortRows)) {
        last_row_y = y;
        add_row(row, true);
        y += g.Y(40);
    }
    const int apply_y = last_row_y + g.Y(40) + g.height() * 40 / 960;
    layout.controls.push_back(
        {kIdApply, x0 + g.width() * 90 / 1600, apply_y, g.X(90), g.Y(60), true});
    if (!full) {
        y = apply_y + g.Y(60);
        for (const PanelRow& row : kShortHiddenRows) {
            add_row(row, false);
            y += g.Y(40);
        }
    }
    return layout;
}

}  // namespace velkor
