#pragma once

#include <QStringList>

#include <atomic>

namespace kalvora {

/** Whether PATH names an IGC recording by its extension ("igc" in any letter case). */
[[nodiscard]] bool isIGCFileName(const QString& path);

/**
 * Every IGC recording under FOLDER and its sub-folders, any letter case of the
 * extension, sorted by path so that a second run meets them in the same order.
 * Links to folders are not followed (a link back up would never end); hidden
 * files and folders are left out ("._x.igc" resource forks that copies from
 * other systems leave behind are no recordings). Stops early, returning what it found, when
 * CANCEL becomes true. An unreadable folder contributes nothing. Any thread.
 */
[[nodiscard]] QStringList igcFilesInFolder(const QString& folder, const std::atomic<bool>* cancel = nullptr);

/**
 * PATHS with every folder among them replaced by its recordings
 * (igcFilesInFolder); files stay as given, in order, each path once.
 */
[[nodiscard]] QStringList expandIGCFolders(const QStringList& paths, const std::atomic<bool>* cancel = nullptr);

} // namespace kalvora
