#pragma once

#include <memory>

#include <QList>
#include <QString>

#include "track/result.h"

namespace kalvora {

class PersistentStore;

/** An error as it is presented to the user: its domain, code, text and, optionally, the reason. */
struct PresentableError
{
    QString domain;
    int code = 0;
    QString description;
    QString failureReason;

    bool operator==(const PresentableError&) const = default;
};

/** The result of opening the global store: the store, or every error the user is to see, in order. */
struct GlobalStoreOpening
{
    std::unique_ptr<PersistentStore> store;
    QList<PresentableError> errors;
};

/**
 * Opens "Kalvora.storedata" in @p folder (the application files directory),
 * creating the folder with its parents when it is missing. A folder path that
 * is a file, a folder that cannot be made, or a store that cannot be opened
 * yields no store and the errors to present, ending with "Failed to initialize
 * the store" (code 9999). GUI thread (the store's main context belongs to it).
 */
[[nodiscard]] GlobalStoreOpening openGlobalStore(const QString& folder);

} // namespace kalvora
