#include "logbook/remainingtime.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace kalvora {

qint64 remainingTimeMs(qint64 elapsedMs, int done, int total)
{
    if (done <= 0 || total <= 0)
        return -1;
    if (done >= total)
        return 0;
    const double perItem = static_cast<double>(std::max<qint64>(elapsedMs, 0)) / done;
    return static_cast<qint64>(std::llround(perItem * (total - done)));
}

QString remainingTimeText(qint64 elapsedMs, int done, int total)
{
    const qint64 ms = remainingTimeMs(elapsedMs, done, total);
    const auto tr = [](const char* text) { return QCoreApplication::translate("RemainingTime", text); };
    if (ms < 0)
        return tr("estimating the time left");
    if (ms < 60 * 1000)
        return tr("less than a minute left");
    // Rounded up: "about 1 minute" for 61 s would promise too little.
    const qint64 minutes = (ms + 59 * 1000) / (60 * 1000);
    if (minutes < 60)
        return minutes == 1 ? tr("about 1 minute left") : tr("about %1 minutes left").arg(minutes);
    return tr("about %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

} // namespace kalvora
