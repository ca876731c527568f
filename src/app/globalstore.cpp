#include "app/globalstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora {

namespace {

const QString kDomain = QStringLiteral("YOUR_ERROR_DOMAIN");

PresentableError storeInitFailure()
{
    return {kDomain, 9999, QCoreApplication::translate("KalvoraAppDelegate", "Failed to initialize the store"),
            QCoreApplication::translate("KalvoraAppDelegate", "There was an error building up the data file.")};
}

} // namespace

GlobalStoreOpening openGlobalStore(const QString& folder)
{
    GlobalStoreOpening result;
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        result.errors << PresentableError{
            kDomain, 101,
            QCoreApplication::translate("KalvoraAppDelegate", "Expected a folder to store application data, found a file (%1).")
                .arg(folder),
            {}};
        result.errors << storeInitFailure();
        return result;
    }
    if (!info.exists() && !QDir().mkpath(folder)) {
        result.errors << PresentableError{
            QStringLiteral("KalvoraFileError"), 1,
            QCoreApplication::translate("KalvoraAppDelegate", "The folder \"%1\" could not be created.").arg(folder), {}};
        result.errors << storeInitFailure();
        return result;
    }

    auto opened = PersistentStore::open(QDir(folder).filePath(QString::fromLatin1(GlobalStoreFileName)),
                                        ObjectModel::global(), PersistentStore::OpenMode::CreateIfMissing);
    if (!opened) {
        result.errors << PresentableError{QStringLiteral("KalvoraStoreError"), 1,
                                          QString::fromStdString(opened.error()), {}};
        result.errors << storeInitFailure();
        return result;
    }
    result.store = std::move(opened).value();
    return result;
}

} // namespace kalvora
