#pragma once

#include <QStringList>

namespace kalvora {

/**
 * The recently used logbook files, newest first, kept in the user preferences
 * under "RecentLogbooks". Main thread.
 */
class RecentLogbooks final
{
public:
    static constexpr qsizetype kMaxEntries = 10;

    /** The list as stored, newest first (absolute paths). */
    [[nodiscard]] static QStringList list();
    /** Moves @p path to the front (adding it when absent) and writes the preferences at once. */
    static void noteOpened(const QString& path);
    /** Drops @p path from the list, e.g. after it failed to open. */
    static void forget(const QString& path);
    static void clear();
};

} // namespace kalvora
