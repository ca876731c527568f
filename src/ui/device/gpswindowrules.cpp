#include "ui/device/gpswindowrules.h"

#include <QCoreApplication>

namespace kalvora {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("GPSWindowController", text);
}

} // namespace

DeviceTabState deviceTabState(const DeviceListFacts& facts)
{
    DeviceTabState state;
    if (!facts.connected || !facts.canList)
        return state;
    if (facts.count == 0)
        state.page = facts.read ? DeviceTabState::Page::Table : DeviceTabState::Page::Reading;
    else
        state.page = DeviceTabState::Page::Table;
    const bool any = facts.count > 0;
    state.importAll = any && facts.importTargetExists;
    state.importSelected = any && facts.rowSelected && facts.importTargetExists;
    state.deleteSelectedShown = facts.canDeleteSome;
    state.deleteSelected = any && facts.rowSelected && facts.canDeleteSome;
    state.deleteAllShown = !facts.canDeleteSome && facts.canDeleteAll;
    state.deleteAll = any && state.deleteAllShown;
    return state;
}

DeviceTabState::Page settingsPage(bool connected, bool canGetSettings, int settingsRead)
{
    if (!connected || !canGetSettings || settingsRead == 0)
        return DeviceTabState::Page::NotAvailable;
    return settingsRead == 2 ? DeviceTabState::Page::Reading : DeviceTabState::Page::Table;
}

QString readingText(DeviceList list)
{
    switch (list) {
    case DeviceList::Tracks: return tr("Reading tracks...");
    case DeviceList::Waypoints: return tr("Reading waypoints...");
    case DeviceList::Routes: return tr("Reading routes...");
    }
    return {};
}

QString notAvailableText(DeviceList list)
{
    switch (list) {
    case DeviceList::Tracks: return tr("Tracks not available");
    case DeviceList::Waypoints: return tr("Waypoints not available");
    case DeviceList::Routes: return tr("Routes not available");
    }
    return {};
}

QStringList logbooksHolding(const QDateTime& start, qint64 flightTimeS, const QList<LogBookFlights>& logbooks)
{
    QStringList names;
    for (const LogBookFlights& logbook : logbooks)
        if (firstOverlappingFlight(start, flightTimeS, logbook.flights))
            names << logbook.name;
    return names;
}

QString accessProblemsText(const QStringList& problems, bool udevRuleInstalled)
{
    if (problems.isEmpty())
        return {};
    QString text = problems.join(QLatin1Char('\n'));
    if (udevRuleInstalled)
        // The rule acts when the adapter appears, not on one that was plugged in before.
        text += QLatin1Char('\n') + tr("The udev rule is installed: unplug the instrument, plug it in again and "
                                       "scan once more.");
    else
        text += QLatin1Char('\n') + tr("The udev rule can be installed under Serial access in the Preferences.");
    return text;
}

} // namespace kalvora
