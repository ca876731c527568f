#include "clirunner.h"

#include <QProcess>

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

} // namespace kalvora::test
