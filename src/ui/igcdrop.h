#pragma once

#include <optional>

#include <QList>
#include <QStringList>
#include <QUrl>

namespace kalvora {

/**
 * The file paths of a drag when the logbook window takes it: every item is a
 * local file (not a folder) whose extension is "igc" in any letter case. nullopt
 * refuses the whole drag, e.g. when one file has another extension. Any thread.
 */
[[nodiscard]] std::optional<QStringList> igcFilesFromUrls(const QList<QUrl>& urls);

/** Whether @p path names an IGC file by its extension ("igc", any letter case). */
[[nodiscard]] bool hasIGCExtension(const QString& path);

} // namespace kalvora
