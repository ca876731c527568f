#pragma once

#include <QString>

#include "track/result.h"

namespace kalvora {

/**
 * Copies the store file SOURCE to DESTINATION with SQLite's online backup, in
 * one read transaction: the copy is the state of the last commit before it
 * began, even while another connection or process keeps writing SOURCE
 * (writers are not held up). The copy is written beside DESTINATION first,
 * checked, and then takes DESTINATION's place, so a failed copy never leaves
 * half a file under that name. The copy uses a rollback journal, so that it
 * can be read from a read-only place; opening it as a store turns the
 * write-ahead log back on. Any thread; blocks for the length of the copy.
 */
Result<Done> backupDatabase(const QString& source, const QString& destination);

/** The rows of TABLE in the SQLite file PATH, read without writing anything. */
Result<qint64> countRows(const QString& path, const QString& table);

/**
 * Gives the store file PATH (not open anywhere) a new identity, so that a
 * copy and its original are told apart (record addresses name the store).
 */
Result<Done> renewStoreIdentity(const QString& path);

} // namespace kalvora
