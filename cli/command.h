#pragma once

#include <QJsonValue>
#include <QStringList>

namespace kalvora::cli {

/**
 * A sub-command of kalvora-cli. `run` gets the arguments after the command's
 * name and returns the process exit code: 0 on success, non-zero on failure.
 * Results go to stdout as JSON, messages to stderr.
 */
struct Command
{
    const char* name;
    const char* usage;   ///< e.g. "list LOGBOOK"
    const char* summary; ///< one line for --help
    int (*run)(const QStringList& args);
};

/** Registers a command at static-initialisation time; use one per file. */
struct RegisterCommand
{
    explicit RegisterCommand(Command command);
};

/** Writes one JSON value to stdout, compact, followed by a newline. */
void printJson(const QJsonValue& value);
/** Writes a message line to stderr. */
void printError(const QString& message);

} // namespace kalvora::cli
