#include "model/utcoffsets.h"

#include <cmath>

namespace kalvora {

std::optional<int> utcOffsetIndex(double offsetHours)
{
    for (int i = 0; i < int(UtcOffsets.size()); ++i)
        if (std::abs(UtcOffsets[size_t(i)] - offsetHours) < 1e-9)
            return i;
    return std::nullopt;
}

std::optional<double> utcOffsetAt(int index)
{
    if (index < 0 || index >= int(UtcOffsets.size()))
        return std::nullopt;
    return UtcOffsets[size_t(index)];
}

} // namespace kalvora
