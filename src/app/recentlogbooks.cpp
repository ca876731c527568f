#include "app/recentlogbooks.h"

#include <QFileInfo>
#include <QSettings>

namespace kalvora {

namespace {

const QString kKey = QStringLiteral("RecentLogbooks");

void store(const QStringList& paths)
{
    QSettings settings;
    settings.setValue(kKey, paths);
    settings.sync();
}

QString normalised(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

QStringList RecentLogbooks::list()
{
    return QSettings().value(kKey).toStringList();
}

void RecentLogbooks::noteOpened(const QString& path)
{
    const QString entry = normalised(path);
    QStringList paths = list();
    paths.removeAll(entry);
    paths.prepend(entry);
    while (paths.size() > kMaxEntries)
        paths.removeLast();
    store(paths);
}

void RecentLogbooks::forget(const QString& path)
{
    QStringList paths = list();
    if (paths.removeAll(normalised(path)) > 0)
        store(paths);
}

void RecentLogbooks::clear()
{
    store({});
}

} // namespace kalvora
