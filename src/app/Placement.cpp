#include "app/Placement.h"

#include <cmath>
#include <limits>

namespace Placement {

std::int16_t roundHalfEven16(double value) {
    const double rounded = std::nearbyint(value); // the default rounding mode: half to even
    constexpr double lo = std::numeric_limits<std::int16_t>::min();
    constexpr double hi = std::numeric_limits<std::int16_t>::max();
    if (std::isnan(rounded))
        return 0;
    return static_cast<std::int16_t>(rounded < lo ? lo : (rounded > hi ? hi : rounded));
}

QPoint centreForm(double mainWidth, double mainHeight, double menuWidth, double childWidth, double childHeight) {
    const double left = (std::nearbyint(mainWidth) - std::nearbyint(childWidth) + std::nearbyint(menuWidth)) / 2.0;
    const double top = (std::nearbyint(mainHeight) - std::nearbyint(childHeight)) / 2.0 - 500.0;
    return QPoint(roundHalfEven16(left), roundHalfEven16(top));
}

} // namespace Placement
