// The five row icons of the file browser, 32 x 32 pixels on white.
#pragma once

#include <QIcon>
#include <array>

#include "picker/listing_rules.h"

class QStyle;

namespace velkor {

inline constexpr int kRowIconSize = 32;

// The icons in RowIcon order, drawn from the style's standard images.
std::array<QIcon, kRowIconCount> MakeRowIcons(const QStyle& style);

}  // namespace velkor
