#include "services/settingsservice.h"

#include <algorithm>

#include "model/settings.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"

namespace kalvora {

Settings* fetchOrCreateSettings(ObjectContext& globalContext)
{
    // The lowest row is the record: two programs starting at once in a fresh
    // home may each add one, and both must then settle on the same.
    auto first = [](QList<Settings*> found) -> Settings* {
        std::sort(found.begin(), found.end(),
                  [](const Settings* a, const Settings* b) { return a->objectId().key() < b->objectId().key(); });
        return found.isEmpty() ? nullptr : found.first();
    };
    auto existing = globalContext.fetch(FetchRequest{QString::fromLatin1(Settings::EntityName), {}, {}, 0});
    if (!existing)
        return nullptr;
    if (!existing->isEmpty())
        return first(globalContext.fetch<Settings>());
    auto* settings = globalContext.insert<Settings>();
    if (!settings)
        return nullptr;
    settings->setXcPointsType(0);
    if (!globalContext.save())
        return settings; // kept in memory; the next save retries
    const QList<Settings*> all = globalContext.fetch<Settings>();
    Settings* kept = first(all);
    if (all.size() > 1) {
        for (Settings* other : all)
            if (other != kept)
                globalContext.deleteObject(other);
        (void)globalContext.save();
    }
    return kept ? kept : settings;
}

bool checkSettings(Settings& settings, const QLocale& locale)
{
    Settings::setCurrent(&settings);
    bool chosen = false;
    if (settings.varioUnitIndex() == -1) {
        const QLocale::MeasurementSystem system = locale.measurementSystem();
        const int units = system == QLocale::MetricSystem ? 0 : 1;
        settings.chooseVarioUnit(units);
        settings.chooseAltitudeUnit(units);
        settings.chooseSpeedUnit(units);
        settings.chooseDistanceUnit(units);
        saveSettings(settings);
        chosen = true;
    }
    NotificationCenter::instance().post(QString::fromLatin1(notifications::SettingsUnitTypeChanged));
    return chosen;
}

void saveSettings(Settings& settings)
{
    if (ObjectContext* ctx = settings.context())
        (void)ctx->save();
}

} // namespace kalvora
