#include "clirunner.h"

#include <QProcess>
#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "support/httpserver.h"

namespace kalvora::test {

CliRun runCli(const QStringList& args, const QProcessEnvironment& env, int timeoutMs, const QByteArray& stdinData)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KALVORA_CLI), args);
    CliRun run;
    if (!process.waitForStarted(10000))
        return run;
    if (!stdinData.isEmpty())
        process.write(stdinData);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

CliRun runCliOnTerminal(const QStringList& args, const QProcessEnvironment& env, const QByteArray& typed,
                        int timeoutMs)
{
    CliRun run;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        if (master >= 0)
            ::close(master);
        return run;
    }
    const QByteArray slaveName = ::ptsname(master);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([&slaveName] {
        // In the child, before exec: a session of its own, the terminal as stdin.
        ::setsid();
        const int slave = ::open(slaveName.constData(), O_RDWR);
        if (slave >= 0)
            ::dup2(slave, STDIN_FILENO);
    });
    process.start(QStringLiteral(KALVORA_CLI), args);
    if (process.waitForStarted(10000)) {
        if (!typed.isEmpty())
            (void)!::write(master, typed.constData(), static_cast<size_t>(typed.size()));
        if (process.waitForFinished(timeoutMs)) {
            run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
            run.out = process.readAllStandardOutput();
            run.err = process.readAllStandardError();
        } else {
            process.kill();
            process.waitForFinished();
        }
    }
    ::close(master);
    return run;
}

QProcessEnvironment freshUserEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("KALVORA_NOMINATIM_URL"), LocalHttpServer::closedPortUrl().toString());
    env.insert(QStringLiteral("KALVORA_TIMEZONE_URL"), LocalHttpServer::closedPortUrl().toString());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("KALVORA_TILE_URL"),
               LocalHttpServer::closedPortUrl().toString() + QStringLiteral("/{z}/{x}/{y}.png"));
    return env;
}

} // namespace kalvora::test
