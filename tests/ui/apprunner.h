#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

namespace kalvora::test {

/** What one run of the built application printed. */
struct AppRun
{
    int exitCode = -1;
    bool timedOut = false;
    QByteArray out;
    QByteArray err;

    /** The object names after "window: " lines, in order. */
    [[nodiscard]] QStringList windows() const;
    /** The "Menu > Entry" texts after "menu: " lines, in order ("(disabled)" appended when so). */
    [[nodiscard]] QStringList menuEntries() const;
    /** The logbook in use (in front) as the run reported it; empty when none. */
    [[nodiscard]] QString currentLogbook() const;
    /** The paths after "logbook: " lines, in order. */
    [[nodiscard]] QStringList logbooks() const;
    /** The flight count of the last "flights: " line; -1 when there is none. */
    [[nodiscard]] int lastFlightCount() const;
};

/** A fresh home for the application: HOME and the XDG folders inside one temporary folder. */
class FreshHome
{
public:
    FreshHome();
    [[nodiscard]] bool isValid() const { return m_dir.isValid(); }
    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QProcessEnvironment environment() const;

private:
    QTemporaryDir m_dir;
};

/** Collects what a started QProcess printed into an AppRun after it ended (or was killed). */
AppRun finishRun(QProcess& process, int timeoutMs);

/** Runs the built kalvora on the offscreen platform, killing it after @p timeoutMs. */
AppRun runApp(const QStringList& args, const QProcessEnvironment& env, int timeoutMs = 60000);

} // namespace kalvora::test
