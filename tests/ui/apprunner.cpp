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

QStringList AppRun::menuEntries() const
{
    return valuesAfter(out, "menu: ");
}

QString AppRun::currentLogbook() const
{
    return valuesAfter(out, "current: ").value(0);
}

QStringList AppRun::logbooks() const
{
    return valuesAfter(out, "logbook: ");
}

int AppRun::lastFlightCount() const
{
    const QStringList lines = valuesAfter(out, "flights: ");
    if (lines.isEmpty())
        return -1;
    return lines.last().section(QLatin1Char(' '), 0, 0).toInt();
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
    // Place names and time zones would be asked of the internet: a closed loopback port answers at once.
    env.insert(QStringLiteral("KALVORA_NOMINATIM_URL"), QStringLiteral("http://127.0.0.1:9/"));
    env.insert(QStringLiteral("KALVORA_TIMEZONE_URL"), QStringLiteral("http://127.0.0.1:9/"));
    env.insert(QStringLiteral("KALVORA_WAYPOINTDB_URL"), QStringLiteral("http://127.0.0.1:9/"));
    return env;
}

AppRun runApp(const QStringList& args, const QProcessEnvironment& env, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KALVORA_APP), args);
    if (!process.waitForStarted(10000))
        return {};
    process.closeWriteChannel();
    return finishRun(process, timeoutMs);
}

AppRun finishRun(QProcess& process, int timeoutMs)
{
    AppRun run;
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
