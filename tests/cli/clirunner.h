#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

class QString;

namespace kalvora::test {

/**
 * The environment of a new user living in HOME: XDG data and configuration below it,
 * and the place, time-zone and map tile services at a port where nothing listens, so a run
 * that forgets --offline fails fast instead of going abroad.
 */
QProcessEnvironment freshUserEnvironment(const QString& home);

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/**
 * Runs the built kalvora-cli with ARGS and the given environment (a fresh HOME
 * and XDG folders are the caller's business), waiting at most timeoutMs.
 */
CliRun runCli(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
              int timeoutMs = 120000, const QByteArray& stdinData = {});

/**
 * As runCli(), with a pseudo-terminal as standard input on which TYPED is
 * typed (as a pilot would; "\x04" at the start of a line ends the input).
 * Standard output and error stay pipes.
 */
CliRun runCliOnTerminal(const QStringList& args, const QProcessEnvironment& env, const QByteArray& typed,
                        int timeoutMs = 120000);

} // namespace kalvora::test
