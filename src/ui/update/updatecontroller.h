#pragma once

#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QPointer>
#include <QUrl>
#include <QVersionNumber>
#include <QWidget>

#include "services/updatecheck.h"

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QPushButton;
class QThreadPool;

namespace kalvora {

class HttpClient;

/** The questions of the update check and download, behind a seam (tests answer at once). GUI thread. */
class UpdateInteraction
{
public:
    virtual ~UpdateInteraction() = default;
    /** The offer, with the "do not check at start" box; REPLY gets the choice and the box. */
    virtual void askDownload(QWidget* window, const QString& message,
                             std::function<void(bool download, bool suppress)> reply) = 0;
    virtual void showAlert(QWidget* window, const QString& message, const QString& informative) = 0;
    /** Where to save the download, SUGGESTED as the file name; an empty path when cancelled. */
    virtual void chooseSaveFile(QWidget* window, const QString& suggested, std::function<void(const QString&)> reply) = 0;
};

/** Message boxes and a file dialog. */
[[nodiscard]] std::shared_ptr<UpdateInteraction> makeUpdateDialogs();

/**
 * Shows and performs one download: asks the size (HEAD), then fetches the
 * archive with progress (a busy bar when the size is unknown), then saves it
 * where the user chooses, atomically. Nothing downloaded is ever run: the user
 * installs it with the package manager. A failure is told and ends the window.
 * GUI thread.
 */
class UpdateWindowController final : public QWidget
{
    Q_OBJECT

public:
    UpdateWindowController(QUrl archive, std::shared_ptr<UpdateInteraction> interaction, QWidget* parent = nullptr);
    ~UpdateWindowController() override;

    /** Starts with the size request. */
    void start();
    /** The cancel button: stops the transfer and closes the window. */
    void cancel();

    [[nodiscard]] QProgressBar* progressBar() const { return m_bar; }
    [[nodiscard]] qint64 downloadLength() const { return m_downloadLength; }

signals:
    /** The window is done: saved (the path), failed or cancelled (empty). */
    void finished(const QString& savedPath);

private:
    void startDownload();
    void downloadFinished();
    void save(const QString& path);
    void fail(const QString& message, const QString& informative);
    void end(const QString& savedPath);

    QUrl m_archive;
    std::shared_ptr<UpdateInteraction> m_interaction;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    qint64 m_downloadLength = 0;
    QByteArray m_received;
    bool m_done = false;
    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
};

/**
 * The update check: at start unless "NoAutoUpdate" is set, and on demand. The
 * request runs on a worker thread; its answer comes back to the GUI thread.
 * Without an update address nothing is sent. GUI thread.
 */
class UpdateController final : public QObject
{
    Q_OBJECT

public:
    enum class Trigger { AtStart, Manual };

    UpdateController(HttpClient& client, QVersionNumber running, std::shared_ptr<UpdateInteraction> interaction = {},
                     QObject* parent = nullptr);
    ~UpdateController() override;

    /** WINDOW (may be null) carries the alerts of a manual check. */
    void checkUpdates(Trigger trigger, QWidget* window = nullptr);
    /** Opens the download window for ARCHIVE, replacing a previous one. */
    void update(const QUrl& archive);

    [[nodiscard]] UpdateWindowController* updateWindowController() const { return m_window; }
    /** Waits for a running check (tests, quitting). */
    void waitForCheck();

signals:
    /** A check is over and its outcome has been shown. */
    void checkFinished(const kalvora::UpdateCheckResult& result);

private:
    void answered(Trigger trigger, QPointer<QWidget> window, const UpdateCheckResult& result);

    HttpClient& m_client;
    QVersionNumber m_running;
    std::shared_ptr<UpdateInteraction> m_interaction;
    std::unique_ptr<QThreadPool> m_worker;
    QPointer<UpdateWindowController> m_window;
};

} // namespace kalvora
