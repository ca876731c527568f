#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>

#include "contests/contestservice.h"

namespace kalvora::test {

/**
 * A short IGC record as a logger writes it: CR LF line ends, a pilot name in
 * Latin-1 (one byte that is not UTF-8), "+" in a header and a security record.
 */
inline QByteArray sampleIGC(bool withSecurityRecord = true)
{
    QByteArray igc = "AXCT7a1b2c3d\r\n"
                     "HFDTE230714\r\n"
                     "HFPLTPILOTINCHARGE:J\xE9r\xF4me M\xFCller\r\n"
                     "HFGTYGLIDERTYPE:Rush 5 (M) +ears\r\n"
                     "B1101554612345N00812345EA0123401456\r\n"
                     "B1102554612400N00812400EA0125001470\r\n"
                     "B1103554612455N00812460EA0126001480\r\n";
    if (withSecurityRecord)
        igc += "G4F2A9C1DE7B3+/=0\r\nG77AB\r\n";
    return igc;
}

inline ContestFlight sampleFlight(bool withSecurityRecord = true)
{
    ContestFlight flight;
    flight.id = QStringLiteral("x-kalvora://test/Flight/1");
    flight.igc = sampleIGC(withSecurityRecord);
    flight.notice = QStringLiteral("Thermals & wind 20+ km/h, 100% fun – Grüße");
    flight.glider = QStringLiteral("Rush 5 (M), blue");
    flight.startLocation = QStringLiteral("Brauneck, Germany");
    flight.startUTC = QDateTime(QDate(2023, 7, 14), QTime(11, 1, 55), QTimeZone::utc());
    return flight;
}

} // namespace kalvora::test
