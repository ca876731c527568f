#include "logbook/logbookbackups.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QSet>
#include <QThreadPool>

#include <algorithm>

#include "logbook/backgroundwork.h"
#include "store/persistentstore.h"
#include "store/storebackup.h"

namespace kalvora {

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kFingerprintFile = QStringLiteral("fingerprint");

/**
 * What the logbook's files look like from outside: a commit changes the
 * write-ahead log, a checkpoint the file itself. An empty log (as every
 * opening leaves it) says nothing, so only its size counts then.
 */
QString fingerprint(const QString& logbookPath)
{
    const QFileInfo file(logbookPath);
    const QFileInfo wal(logbookPath + QStringLiteral("-wal"));
    QString text = QStringLiteral("%1 %2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
    if (wal.exists() && wal.size() > 0)
        text += QStringLiteral(" %1 %2").arg(wal.size()).arg(wal.lastModified().toMSecsSinceEpoch());
    return text;
}

QString readFingerprint(const QString& folder)
{
    QFile file(QDir(folder).filePath(kFingerprintFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

void writeFingerprint(const QString& folder, const QString& value, const QString& logbookPath)
{
    QSaveFile file(QDir(folder).filePath(kFingerprintFile));
    if (!file.open(QIODevice::WriteOnly))
        return;
    // The second line only tells a person looking into the folder whose copies these are.
    file.write(value.toUtf8() + '\n' + QFileInfo(logbookPath).absoluteFilePath().toUtf8() + '\n');
    (void)file.commit();
}

QList<std::pair<QDate, QString>> copyFiles(const QString& folder)
{
    QList<std::pair<QDate, QString>> found;
    const QDir dir(folder);
    const QString extension = QStringLiteral(".") + QString::fromLatin1(LogBookFileExtension);
    for (const QString& name : dir.entryList({QStringLiteral("*") + extension}, QDir::Files)) {
        const QDate date = QDate::fromString(name.chopped(extension.size()), kDateFormat);
        if (date.isValid())
            found.append({date, dir.filePath(name)});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    return found;
}

/** The same mutex-free set for every LogBookBackups: two windows of one logbook copy it once. */
QSet<QString>& copiesUnderway()
{
    static QSet<QString> underway;
    return underway;
}

Result<QString> takeCopy(const QString& folder, const QString& logbookPath, const QString& before)
{
    if (!QDir().mkpath(folder))
        return Error{"The backup folder could not be created."};
    const QString extension = QString::fromLatin1(LogBookFileExtension);
    const QString target =
        QDir(folder).filePath(QDate::currentDate().toString(kDateFormat) + QLatin1Char('.') + extension);
    if (auto done = backupDatabase(logbookPath, target); !done)
        return Error{done.error()};
    // The state from before the copy: a change made while it ran is copied next time.
    writeFingerprint(folder, before, logbookPath);
    QList<QDate> days;
    const auto files = copyFiles(folder);
    for (const auto& [date, path] : files)
        days.append(date);
    const QList<QDate> expired = expiredBackupDays(days);
    for (const auto& [date, path] : files) {
        if (expired.contains(date))
            QFile::remove(path);
    }
    return target;
}

} // namespace

QList<QDate> expiredBackupDays(const QList<QDate>& days)
{
    QList<QDate> newestFirst = days;
    std::sort(newestFirst.begin(), newestFirst.end(), std::greater<>());
    newestFirst.erase(std::unique(newestFirst.begin(), newestFirst.end()), newestFirst.end());
    QList<QDate> expired;
    QSet<QPair<int, int>> weeksKept;
    for (qsizetype i = 0; i < newestFirst.size(); ++i) {
        const QDate day = newestFirst[i];
        if (i < LogBookBackups::dailyCopies)
            continue;
        int year = 0;
        const int week = day.weekNumber(&year);
        const QPair<int, int> key{year, week};
        if (weeksKept.contains(key) || weeksKept.size() >= LogBookBackups::weeklyCopies) {
            expired.append(day);
            continue;
        }
        weeksKept.insert(key);
    }
    return expired;
}

LogBookBackups::LogBookBackups(QString root, QObject* parent)
    : QObject(parent), m_root(std::move(root)), m_pool(std::make_unique<QThreadPool>())
{
    // One copy at a time: copies compete for the disk, not for the processor.
    m_pool->setMaxThreadCount(1);
}

LogBookBackups::~LogBookBackups()
{
    m_pool->waitForDone();
}

QString LogBookBackups::defaultRoot()
{
    return QDir(applicationFilesDirectory()).filePath(QStringLiteral("Backups"));
}

QString LogBookBackups::folderFor(const QString& logbookPath) const
{
    const QFileInfo info(logbookPath);
    const QByteArray id =
        QCryptographicHash::hash(info.absoluteFilePath().toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return QDir(m_root).filePath(info.completeBaseName() + QLatin1Char('-') + QString::fromLatin1(id));
}

bool LogBookBackups::hasChangedSinceLastBackup(const QString& logbookPath) const
{
    const QString folder = folderFor(logbookPath);
    if (copyFiles(folder).isEmpty())
        return true;
    return readFingerprint(folder) != fingerprint(logbookPath);
}

bool LogBookBackups::backUpIfChanged(const QString& logbookPath)
{
    const QString absolute = QFileInfo(logbookPath).absoluteFilePath();
    if (!QFileInfo::exists(absolute) || copiesUnderway().contains(absolute) || !hasChangedSinceLastBackup(absolute))
        return false;
    copiesUnderway().insert(absolute);
    const QString folder = folderFor(absolute);
    const QString before = fingerprint(absolute);
    QPointer<LogBookBackups> self(this);
    m_pool->start([self, folder, absolute, before] {
        yieldToInteractiveWork();
        const Result<QString> copy = takeCopy(folder, absolute, before);
        const QString path = copy ? *copy : QString();
        const QString error = copy ? QString() : QString::fromStdString(copy.error());
        // The object outlives its pool's work (its destructor waits), so SELF is still there.
        QMetaObject::invokeMethod(
            self.data(),
            [self, absolute, path, error] {
                copiesUnderway().remove(absolute);
                emit self->backupFinished(absolute, path, error);
            },
            Qt::QueuedConnection);
    });
    return true;
}

Result<QString> LogBookBackups::backUpNow(const QString& logbookPath)
{
    const QString absolute = QFileInfo(logbookPath).absoluteFilePath();
    return takeCopy(folderFor(absolute), absolute, fingerprint(absolute));
}

QList<BackupCopy> LogBookBackups::copies(const QString& logbookPath) const
{
    QList<BackupCopy> list;
    for (const auto& [date, path] : copyFiles(folderFor(QFileInfo(logbookPath).absoluteFilePath()))) {
        const Result<qint64> flights = countRows(path, QStringLiteral("Flight"));
        list.append({path, date, flights ? *flights : -1});
    }
    return list;
}

Result<QString> LogBookBackups::restore(const BackupCopy& copy, const QString& logbookName, const QString& folder)
{
    if (!QFileInfo::exists(copy.path))
        return Error{"The backup copy is gone."};
    if (!QDir().mkpath(folder))
        return Error{"The folder for the restored logbook could not be created."};
    const QString extension = QString::fromLatin1(LogBookFileExtension);
    const QString stem = QStringLiteral("%1 (backup %2)").arg(logbookName, copy.date.toString(kDateFormat));
    QString target = QDir(folder).filePath(stem + QLatin1Char('.') + extension);
    for (int n = 2; QFileInfo::exists(target) || QFileInfo::exists(target + QStringLiteral(".part")); ++n)
        target = QDir(folder).filePath(QStringLiteral("%1 %2.%3").arg(stem).arg(n).arg(extension));
    if (auto done = backupDatabase(copy.path, target); !done)
        return Error{done.error()};
    if (auto renewed = renewStoreIdentity(target); !renewed) {
        QFile::remove(target);
        return Error{renewed.error()};
    }
    return target;
}

void LogBookBackups::waitForDone()
{
    m_pool->waitForDone();
}

} // namespace kalvora
