#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "logbook/overlapcheck.h"

namespace kalvora {

/** Which list a tab of the device window shows. */
enum class DeviceList
{
    Tracks,
    Waypoints,
    Routes,
};

/** What the driver offers for one list, and how far it has been read. */
struct DeviceListFacts
{
    bool connected = false;       ///< a driver is chosen
    bool canList = false;         ///< the driver reads this list
    bool canDeleteSome = false;   ///< the driver deletes chosen entries
    bool canDeleteAll = false;    ///< the driver deletes the whole list at once
    bool read = false;            ///< the list has been read for this device
    int count = 0;                ///< entries read
    bool rowSelected = false;
    bool importTargetExists = true; ///< tracks: a logbook is open to import into
};

/** What one tab shows and enables. */
struct DeviceTabState
{
    enum class Page
    {
        NotAvailable, ///< the not-available text
        Reading,      ///< the reading text with a busy indicator
        Table,
    };
    Page page = Page::NotAvailable;
    bool importAll = false;
    bool importSelected = false;
    bool deleteSelectedShown = false;
    bool deleteSelected = false;
    bool deleteAllShown = false;
    bool deleteAll = false;
    bool operator==(const DeviceTabState&) const = default;
};

/**
 * The tab rules: no device or no list operation gives the not-available page;
 * an empty list that is not read yet gives the reading page; the import and
 * delete buttons follow the list and the selection; delete-selected replaces
 * delete-all when the driver can delete chosen entries.
 */
[[nodiscard]] DeviceTabState deviceTabState(const DeviceListFacts& facts);

/** The settings tab: NotAvailable without settings or after a failed read, Reading while pending. */
[[nodiscard]] DeviceTabState::Page settingsPage(bool connected, bool canGetSettings, int settingsRead);

/** "Reading tracks..." and the like, and "Tracks not available" and the like. */
[[nodiscard]] QString readingText(DeviceList list);
[[nodiscard]] QString notAvailableText(DeviceList list);

/** An open logbook's flights, for marking the tracks it already holds. */
struct LogBookFlights
{
    QString name;
    QList<FlightSpan> flights;
};

/**
 * The logbooks among LOGBOOKS that hold a flight overlapping a track flown from
 * START for FLIGHTTIMES [s] (the overlap check's strict test), in order.
 */
[[nodiscard]] QStringList logbooksHolding(const QDateTime& start, qint64 flightTimeS,
                                          const QList<LogBookFlights>& logbooks);

/** The answer of a scan shown under the device table: problems and what to do; empty when there are none. */
[[nodiscard]] QString accessProblemsText(const QStringList& problems, bool udevRuleInstalled);

} // namespace kalvora
