#include "readonlypath.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

namespace kalvora::test {

namespace {

bool runChattr(const QString& flag, const QString& path)
{
    QProcess chattr;
    chattr.start(QStringLiteral("chattr"), {flag, path});
    return chattr.waitForFinished(10000) && chattr.exitStatus() == QProcess::NormalExit && chattr.exitCode() == 0;
}

} // namespace

ReadOnlyPath::ReadOnlyPath(QString path) : m_path(std::move(path))
{
    const bool folder = QFileInfo(m_path).isDir();
    QFile::setPermissions(m_path, folder ? QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                         : QFile::ReadOwner | QFile::ReadGroup);
    if (::geteuid() == 0)
        m_immutable = runChattr(QStringLiteral("+i"), m_path);
    m_active = ::access(QFile::encodeName(m_path).constData(), W_OK) != 0;
}

ReadOnlyPath::~ReadOnlyPath()
{
    if (m_immutable)
        runChattr(QStringLiteral("-i"), m_path);
    const bool folder = QFileInfo(m_path).isDir();
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                      (folder ? QFile::ExeOwner | QFile::ExeGroup : QFile::Permissions{}));
}

int damagePagesHolding(const QString& file, const QByteArray& needle)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadWrite) || needle.isEmpty())
        return 0;
    const QByteArray bytes = f.readAll();
    constexpr qint64 page = 4096;
    int damaged = 0;
    qint64 last = -1;
    for (qsizetype at = bytes.indexOf(needle); at >= 0; at = bytes.indexOf(needle, at + 1)) {
        const qint64 start = at / page * page;
        if (start == last)
            continue;
        last = start;
        if (f.seek(start) && f.write(QByteArray(page, '\xA5')) == page)
            ++damaged;
    }
    return damaged;
}

} // namespace kalvora::test
