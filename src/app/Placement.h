#pragma once

#include <QPoint>

#include <cstdint>

// Where a task window goes: centred in the free space right of the command window.
namespace Placement {

// Rounds to the nearest integer, a half going to the even neighbour, into a 16-bit integer
// (values beyond its range are clamped).
std::int16_t roundHalfEven16(double value);

// formLeft = (W - width + M) / 2 and formTop = (H - height) / 2 - 500, all in twips, where W and
// H are the main window's outer size and M the command window's outer width.
QPoint centreForm(double mainWidth, double mainHeight, double menuWidth, double childWidth, double childHeight);

} // namespace Placement
