#include "ui/igcdrop.h"

#include <QFileInfo>

namespace kalvora {

bool hasIGCExtension(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("igc"), Qt::CaseInsensitive) == 0;
}

std::optional<QStringList> igcFilesFromUrls(const QList<QUrl>& urls)
{
    if (urls.isEmpty())
        return std::nullopt;
    QStringList paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return std::nullopt;
        const QString path = url.toLocalFile();
        // A folder named "x.igc" is still a folder.
        if (!hasIGCExtension(path) || QFileInfo(path).isDir())
            return std::nullopt;
        paths << path;
    }
    return paths;
}

} // namespace kalvora
