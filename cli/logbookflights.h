#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "store/persistentstore.h"

namespace kalvora {
class Flight;
class ObjectContext;
} // namespace kalvora

namespace kalvora::cli {

/** Opens an existing logbook file; nullptr after printing why not. */
std::unique_ptr<PersistentStore> openLogbook(const QString& path);

/**
 * The flights named by IDS (object URIs as `import` prints them) in that
 * order, or every flight by take-off (oldest first) when IDS is empty.
 * nullopt after printing the first identifier that names no flight.
 */
std::optional<QList<Flight*>> chooseFlights(ObjectContext& context, const QStringList& ids);

/** A logbook opened by openLogbook and the flights chooseFlights named in it. */
struct ChosenFlights
{
    std::unique_ptr<PersistentStore> store;
    QList<Flight*> flights;
    /** The exit code once why not is printed: 1 when the logbook did not open, 2 for a flight not in it; 0 on success. */
    int failure = 0;

    [[nodiscard]] ObjectContext& context() const { return *store->mainContext(); }
};

/** Opens the logbook at PATH and chooses the flights IDS name in it, as openLogbook and chooseFlights do. */
ChosenFlights openFlights(const QString& path, const QStringList& ids);

/** Takes "--NAME VALUE" out of ARGS into VALUES (repeatable); false after printing a missing value. */
bool takeOption(QStringList& args, const QString& name, QStringList& values);

} // namespace kalvora::cli
