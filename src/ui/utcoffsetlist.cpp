#include "ui/utcoffsetlist.h"

#include <cmath>
#include <cstdlib>

#include "model/utcoffsets.h"

namespace kalvora {

QString utcOffsetLabel(double offsetHours)
{
    const int wholeHours = static_cast<int>(std::trunc(offsetHours));
    QString label = wholeHours > 0 ? QStringLiteral("+%1").arg(wholeHours) : QString::number(wholeHours);
    const int minutes = static_cast<int>(std::lround(std::abs(offsetHours - wholeHours) * 60.0));
    if (minutes != 0)
        label += QStringLiteral(":%1").arg(minutes, 2, 10, QLatin1Char('0'));
    return label;
}

QStringList utcOffsetLabels()
{
    QStringList labels;
    for (double offset : UtcOffsets)
        labels << utcOffsetLabel(offset);
    return labels;
}

} // namespace kalvora
