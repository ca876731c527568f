#include "logbook/igcfolder.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace kalvora {

bool isIGCFileName(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("igc"), Qt::CaseInsensitive) == 0;
}

QStringList igcFilesInFolder(const QString& folder, const std::atomic<bool>* cancel)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (cancel && cancel->load())
            break;
        const QString path = it.next();
        if (isIGCFileName(path))
            found.append(path);
    }
    std::sort(found.begin(), found.end());
    return found;
}

QStringList expandIGCFolders(const QStringList& paths, const std::atomic<bool>* cancel)
{
    QStringList files;
    QSet<QString> seen;
    const auto add = [&](const QString& path) {
        const QString key = QFileInfo(path).absoluteFilePath();
        if (!seen.contains(key)) {
            seen.insert(key);
            files.append(path);
        }
    };
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir()) {
            for (const QString& file : igcFilesInFolder(path, cancel))
                add(file);
        } else {
            add(path);
        }
    }
    return files;
}

} // namespace kalvora
