#include "cli/clisettings.h"

#include <QDir>
#include <QLocale>

#include "cli/command.h"
#include "model/settings.h"
#include "services/settingsservice.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::cli {

namespace {

/** What a settings record made now would hold: the first-start units of the locale, the first points system. */
UnitSettings firstStartSettings()
{
    const int units = QLocale().measurementSystem() == QLocale::MetricSystem ? 0 : 1;
    UnitSettings s;
    s.altitudeUnitIndex = s.speedUnitIndex = s.varioUnitIndex = s.distanceUnitIndex = units;
    s.xcPointsType = 0;
    return s;
}

} // namespace

void useUserSettings()
{
    Settings::setCurrentUnits(firstStartSettings());
    if (!QDir().mkpath(applicationFilesDirectory())) {
        printError(QStringLiteral("note: the folder %1 cannot be created; using the default settings")
                       .arg(applicationFilesDirectory()));
        return;
    }
    auto store = PersistentStore::open(globalStorePath(), ObjectModel::global());
    if (!store) {
        printError(QStringLiteral("note: %1; using the default settings").arg(QString::fromStdString(store.error())));
        return;
    }
    ObjectContext* context = (*store)->mainContext();
    Settings* settings = fetchOrCreateSettings(*context);
    if (!settings) {
        printError(QStringLiteral("note: the settings cannot be read (%1); using the default settings")
                       .arg(context->readError()));
        return;
    }
    checkSettings(*settings);
    // The store closes when this returns; the values stay.
    const UnitSettings values = settings->unitSettings();
    Settings::setCurrent(nullptr);
    Settings::setCurrentUnits(values);
}

} // namespace kalvora::cli
