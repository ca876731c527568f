#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

namespace kalvora {

/**
 * One running application per user session: a later start hands its files to
 * the running one and ends, so that two processes never write the same logbook.
 * The rendezvous is a local socket in the user's runtime folder. GUI thread.
 */
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    /** The socket's path. */
    [[nodiscard]] static QString socketPath();

    /**
     * Hands @p files (absolute paths; may be empty, which only brings the running
     * one to the front) to a running instance.
     * @return true when one took them; false when none is running. Waits at most @p timeoutMs.
     */
    [[nodiscard]] static bool forwardToRunningInstance(const QStringList& files, int timeoutMs = 3000);

    /** Starts answering later starts; false when the socket cannot be made (the application runs anyway). */
    bool listen();

signals:
    /** A later start handed over these files (possibly none). */
    void filesReceived(const QStringList& files);

private:
    QLocalServer* m_server = nullptr;
};

} // namespace kalvora
