#pragma once

#include <QLocale>

namespace kalvora {

class ObjectContext;
class Settings;

/**
 * The single Settings record of the global store: fetched when there is one,
 * otherwise created with `xcPointsType` 0 and saved. nullptr only when the store
 * cannot be read. GUI thread (the global store's main context).
 */
Settings* fetchOrCreateSettings(ObjectContext& globalContext);

/**
 * First-start units: while `varioUnitIndex` is -1, chooses metric units (0 and
 * "m/s", "m", "km/h", "km") when `locale` measures in the metric system and
 * imperial ones (1 and "fpm", "ft", "mph", "mil") otherwise, then saves the
 * record's store (errors ignored). Always posts "KalvoraSettingsUnitTypeChanged".
 * Makes `settings` the current settings record. GUI thread.
 * @return true when units were chosen now.
 */
bool checkSettings(Settings& settings, const QLocale& locale = QLocale());

/** Saves the settings record's store; errors are ignored (the values stay in memory). */
void saveSettings(Settings& settings);

} // namespace kalvora
