#include "services/settingsservice.h"

#include "model/settings.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"

namespace kalvora {

Settings* fetchOrCreateSettings(ObjectContext& globalContext)
{
    const QList<Settings*> found = globalContext.fetch<Settings>();
    if (!found.isEmpty())
        return found.first();
    auto* settings = globalContext.insert<Settings>();
    if (!settings)
        return nullptr;
    settings->setXcPointsType(0);
    (void)globalContext.save(); // a failed save keeps the record in memory; the next save retries
    return settings;
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
