#include "services/boundedfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalvora {

namespace {

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string sizeText(qint64 bytes)
{
    if (bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

Result<QByteArray> readRegularFile(const QString& path, qint64 maxBytes)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return Result<QByteArray>::failure("No file was named");
    // Non-blocking, so that opening a FIFO does not wait for a writer; the
    // type is then checked on what was opened, not on the name.
    const FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return Result<QByteArray>::failure(systemError("The file cannot be opened"));
    struct stat info{};
    if (::fstat(fd.get(), &info) != 0)
        return Result<QByteArray>::failure(systemError("The file cannot be read"));
    if (S_ISDIR(info.st_mode))
        return Result<QByteArray>::failure("It is a folder, not a file");
    if (!S_ISREG(info.st_mode))
        return Result<QByteArray>::failure("It is not a regular file (a device, pipe or socket)");
    if (info.st_size > maxBytes)
        return Result<QByteArray>::failure("The file is larger than " + sizeText(maxBytes));

    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(info.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return Result<QByteArray>::failure(systemError("The file cannot be read"));
        }
        if (got == 0)
            break;
        // A file may grow while it is read, or report no size at all.
        if (bytes.size() + got > maxBytes)
            return Result<QByteArray>::failure("The file is larger than " + sizeText(maxBytes));
        bytes.append(chunk, static_cast<qsizetype>(got));
    }
    return bytes;
}

} // namespace kalvora
