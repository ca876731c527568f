#include "apprunner.h"

#include <QDir>
#include <QProcess>

namespace kalvora::test {

namespace {

QStringList valuesAfter(const QByteArray& out, const QByteArray& prefix)
{
    QStringList values;
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith(prefix))
            values << QString::fromUtf8(line.mid(prefix.size())).trimmed();
    }
    return values;
}

} // namespace

QStringList AppRun::windows() const
{
    return valuesAfter(out, "window: ");
}

QStringList AppRun::logbooks() const
{
    return valuesAfter(out, "logbook: ");
}

FreshHome::FreshHome()
{
    QDir(m_dir.path()).mkpath(QStringLiteral(".config"));
    QDir(m_dir.path()).mkpath(QStringLiteral(".local/share"));
    QDir(m_dir.path()).mkpath(QStringLiteral(".cache"));
}

QProcessEnvironment FreshHome::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = m_dir.path();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("KALVORA_QUIT_AFTER_MS"));
    return env;
}

AppRun runApp(const QStringList& args, const QProcessEnvironment& env, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KALVORA_APP), args);
    AppRun run;
    if (!process.waitForStarted(10000))
        return run;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        run.timedOut = true;
        process.kill();
        process.waitForFinished(5000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace kalvora::test
