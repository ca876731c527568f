#include "export/igcexport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QTimeZone>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

#include "model/flight.h"
#include "track/igc.h"

namespace kalvora {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

/** Errors of link() that mean "this file system has no hard links", not "this name fails". */
bool linksUnsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == EXDEV || error == ENOSYS;
}

/** Claims PATH with an exclusive create and writes BYTES; false with ERROR set, or EEXIST in errno when taken. */
bool createExclusive(const QString& path, const QByteArray& bytes, QString& error, bool& taken)
{
    taken = false;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            taken = true;
        else
            error = errnoText(errno);
        return false;
    }
    const bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !ok) {
        error = errnoText(ok ? errno : writeError);
        ::unlink(native.constData());
        return false;
    }
    return true;
}

} // namespace

IGCExportItem igcExportItem(const Flight& flight)
{
    IGCExportItem item;
    item.flightId = flight.objectId().uriString();
    item.igc = flight.igcData().toLatin1();
    item.startUTC = flight.startUTC();
    const QDateTime local = flight.startLocal();
    const QString when = local.isValid() ? local.toTimeZone(QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                         : QObject::tr("no date");
    item.label = flight.startLocation().isEmpty() ? when : when + QStringLiteral(", ") + flight.startLocation();
    return item;
}

Result<QString> writeIGCFile(const QString& folder, const QByteArray& igc, const QDateTime& startUTC)
{
    if (igc.isEmpty())
        return Result<QString>::failure(QObject::tr("The flight has no IGC record.").toStdString());
    const std::string_view text(igc.constData(), static_cast<size_t>(igc.size()));
    QDateTime start = startUTC;
    if (!start.isValid()) {
        if (const auto summary = IGC::getTrackFromIGCData(text))
            start = QDateTime::fromSecsSinceEpoch(summary->startUTC.time_since_epoch().count(), QTimeZone::utc());
    }
    if (!start.isValid())
        return Result<QString>::failure(QObject::tr("The flight has no take-off date to name the file after.").toStdString());

    QTemporaryFile temporary(QDir(folder).filePath(QStringLiteral(".kalvora-export-XXXXXX")));
    if (!temporary.open())
        return Result<QString>::failure(
            QObject::tr("The folder cannot be written: %1").arg(temporary.errorString()).toStdString());
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                             QFileDevice::ReadOther);
    if (temporary.write(igc) != igc.size() || !temporary.flush() || ::fsync(temporary.handle()) != 0)
        return Result<QString>::failure(
            QObject::tr("The file cannot be written: %1").arg(temporary.errorString()).toStdString());
    const QByteArray temporaryPath = QFile::encodeName(temporary.fileName());

    std::optional<QString> written;
    QString error;
    bool anyTried = false;
    bool noHardLinks = false;
    // Asked for each candidate name in turn: claiming the name is the test of whether it is free.
    const auto nameTaken = [&](const std::string& name) -> bool {
        if (!error.isEmpty() || written)
            return false;
        anyTried = true;
        // The name comes from the record's own bytes: it must stay a plain name inside FOLDER.
        if (name.empty() || name.front() == '.' || name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
            error = QObject::tr("the record's logger identifier cannot be used as a file name");
            return false;
        }
        const QString path = QDir(folder).filePath(QString::fromStdString(name));
        if (!noHardLinks) {
            if (::link(temporaryPath.constData(), QFile::encodeName(path).constData()) == 0) {
                written = path;
                return false;
            }
            if (errno == EEXIST)
                return true;
            if (!linksUnsupported(errno)) {
                error = errnoText(errno);
                return false;
            }
            noHardLinks = true;
        }
        bool taken = false;
        if (createExclusive(path, igc, error, taken))
            written = path;
        return taken;
    };
    const std::optional<std::string> name = IGC::getIGCFilename(
        text, std::chrono::sys_seconds(std::chrono::seconds(start.toSecsSinceEpoch())), nameTaken);
    if (!error.isEmpty())
        return Result<QString>::failure(QObject::tr("The file cannot be written: %1").arg(error).toStdString());
    if (written)
        return *written;
    if (!name && anyTried)
        return Result<QString>::failure(
            QObject::tr("Every IGC file name of that day and logger is taken in the folder.").toStdString());
    return Result<QString>::failure(
        QObject::tr("The IGC record has no security record (G record) to name the file after.").toStdString());
}

IGCExportResult exportIGCFiles(const QString& folder, const QList<IGCExportItem>& items,
                               const std::atomic<bool>* cancel, const std::function<void(int done)>& progress)
{
    IGCExportResult result;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (cancel && cancel->load()) {
            result.cancelled = true;
            break;
        }
        if (progress)
            progress(static_cast<int>(i + 1));
        const IGCExportItem& item = items[i];
        const Result<QString> path = writeIGCFile(folder, item.igc, item.startUTC);
        if (path)
            result.written << IGCExportWritten{item.flightId, *path};
        else
            result.failed << IGCExportFailure{item.flightId, item.label, QString::fromStdString(path.error())};
    }
    return result;
}

} // namespace kalvora
