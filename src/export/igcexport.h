#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

#include "track/result.h"

namespace kalvora {

class Flight;

/** What the export needs of one flight, read on the GUI thread before the worker starts. */
struct IGCExportItem
{
    QString flightId;   ///< the flight's object URI
    QString label;      ///< how the user knows the flight: local take-off date and place
    QByteArray igc;     ///< the stored record's original bytes; empty without a record
    QDateTime startUTC; ///< take-off; invalid when unknown
    bool operator==(const IGCExportItem&) const = default;
};

/** One flight the export could not write, and why (a sentence for an alert). */
struct IGCExportFailure
{
    QString flightId;
    QString label;
    QString reason;
    bool operator==(const IGCExportFailure&) const = default;
};

/** One file the export wrote. */
struct IGCExportWritten
{
    QString flightId;
    QString path; ///< full path
    bool operator==(const IGCExportWritten&) const = default;
};

struct IGCExportResult
{
    QList<IGCExportWritten> written; ///< in the order written
    QList<IGCExportFailure> failed;
    bool cancelled = false; ///< stopped before the last flight
};

/** The export item of FLIGHT: its record as the import read it (Latin-1 keeps every byte). GUI thread. */
[[nodiscard]] IGCExportItem igcExportItem(const Flight& flight);

/**
 * Writes IGC bytes into FOLDER under the short IGC name of the record and its
 * take-off, taking the first name that is free at the moment of writing: the
 * bytes go to a temporary file first, which is then linked under each candidate
 * name until one does not exist yet, so an existing file is never replaced and
 * no reader sees a half-written file. On file systems without hard links the
 * name is claimed with an exclusive create instead.
 * @return the full path written, or why nothing was written. Any thread.
 */
[[nodiscard]] Result<QString> writeIGCFile(const QString& folder, const QByteArray& igc, const QDateTime& startUTC);

/**
 * Exports ITEMS in order into FOLDER. Before each item it stops when CANCEL is
 * set and then calls PROGRESS with the number of items begun (1 for the first).
 * Flights without a record or an export name, and write errors, are listed in
 * `failed`. Runs on a worker thread; PROGRESS is called on that thread.
 */
[[nodiscard]] IGCExportResult exportIGCFiles(const QString& folder, const QList<IGCExportItem>& items,
                                             const std::atomic<bool>* cancel = nullptr,
                                             const std::function<void(int done)>& progress = {});

} // namespace kalvora
