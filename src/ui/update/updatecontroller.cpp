#include "ui/update/updatecontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <QVBoxLayout>

#include "services/httpclient.h"

namespace kalvora {

namespace {

const QString kNoAutoUpdateKey = QStringLiteral("NoAutoUpdate");
constexpr int kTransferTimeoutMs = 30000;
/** More than any release archive; a server sending without end is cut off. */
constexpr qint64 kMaximumDownload = qint64(1) << 30;

class UpdateDialogs final : public UpdateInteraction
{
public:
    void askDownload(QWidget* window, const QString& message, std::function<void(bool, bool)> reply) override
    {
        auto* box = new QMessageBox(QMessageBox::Information, QApplication::applicationName(), message,
                                    QMessageBox::NoButton, window);
        QPushButton* download = box->addButton(UpdateController::tr("Download"), QMessageBox::AcceptRole);
        box->addButton(UpdateController::tr("Cancel"), QMessageBox::RejectRole);
        box->setDefaultButton(download);
        auto* suppress = new QCheckBox(UpdateController::tr("Do not check for new versions at start"), box);
        box->setCheckBox(suppress);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
        QObject::connect(box, &QMessageBox::finished, box, [box, download, suppress, reply = std::move(reply)](int) {
            reply(box->clickedButton() == download, suppress->isChecked());
        });
        box->open();
    }

    void showAlert(QWidget* window, const QString& message, const QString& informative) override
    {
        auto* box = new QMessageBox(QMessageBox::Information, QApplication::applicationName(), message,
                                    QMessageBox::Ok, window);
        box->setObjectName(QStringLiteral("alert"));
        box->setInformativeText(informative);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(window ? Qt::WindowModal : Qt::NonModal);
        box->open();
    }

    void chooseSaveFile(QWidget* window, const QString& suggested, std::function<void(const QString&)> reply) override
    {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        if (folder.isEmpty())
            folder = QDir::homePath();
        auto* dialog = new QFileDialog(window, UpdateController::tr("Save Update"), QDir(folder).filePath(suggested));
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, reply = std::move(reply)](int result) {
            const QStringList files = dialog->selectedFiles();
            reply(result == QDialog::Accepted && !files.isEmpty() ? files.first() : QString());
        });
        dialog->open();
    }
};

} // namespace

std::shared_ptr<UpdateInteraction> makeUpdateDialogs()
{
    return std::make_shared<UpdateDialogs>();
}

UpdateWindowController::UpdateWindowController(QUrl archive, std::shared_ptr<UpdateInteraction> interaction,
                                               QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_archive(std::move(archive)),
      m_interaction(std::move(interaction)),
      m_network(new QNetworkAccessManager(this))
{
    setObjectName(QStringLiteral("UpdateWindowController"));
    setWindowTitle(tr("Downloading update..."));
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel(tr("Asking for the size of %1…").arg(m_archive.fileName()), this);
    m_status->setObjectName(QStringLiteral("status"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setRange(0, 0);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_cancel, &QPushButton::clicked, this, &UpdateWindowController::cancel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
    resize(420, sizeHint().height());
}

UpdateWindowController::~UpdateWindowController()
{
    if (m_reply)
        m_reply->abort();
}

void UpdateWindowController::start()
{
    if (!isAllowedUpdateUrl(m_archive)) {
        fail(tr("Error downloading update"), tr("%1 is not an HTTPS address.").arg(m_archive.toString()));
        return;
    }
    QNetworkRequest request(m_archive);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    m_reply = m_network->head(request);
    connect(m_reply, &QNetworkReply::finished, this, [this, reply = m_reply] {
        reply->deleteLater();
        if (m_done)
            return;
        // No size is no reason to give up: the bar turns busy instead.
        bool known = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        m_downloadLength = reply->error() == QNetworkReply::NoError && known && length > 0 ? length : 0;
        startDownload();
    });
}

void UpdateWindowController::startDownload()
{
    if (m_downloadLength > 0)
        m_bar->setRange(0, int(std::min<qint64>(m_downloadLength, INT_MAX)));
    else
        m_bar->setRange(0, 0);
    m_bar->setValue(0);
    m_status->setText(tr("Downloading %1…").arg(m_archive.fileName()));
    m_received.clear();
    QNetworkRequest request(m_archive);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, [this, reply = m_reply] {
        m_received += reply->readAll();
        if (m_received.size() > kMaximumDownload)
            reply->abort();
        else if (m_downloadLength > 0)
            m_bar->setValue(int(std::min<qint64>(m_received.size(), m_bar->maximum())));
    });
    connect(m_reply, &QNetworkReply::finished, this, &UpdateWindowController::downloadFinished);
}

void UpdateWindowController::downloadFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || m_done)
        return;
    reply->deleteLater();
    m_received += reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError) {
        fail(tr("Error downloading update"), reply->errorString());
        return;
    }
    if (status < 200 || status >= 300) {
        fail(tr("Error downloading update"), tr("The server answered with status %1.").arg(status));
        return;
    }
    if (m_received.isEmpty() || (m_downloadLength > 0 && m_received.size() != m_downloadLength)) {
        fail(tr("Error downloading update"),
             tr("%1 of %2 bytes arrived.").arg(m_received.size()).arg(m_downloadLength));
        return;
    }
    m_bar->setRange(0, 1);
    m_bar->setValue(1);
    m_status->setText(tr("Downloaded %1 bytes.").arg(m_received.size()));
    m_cancel->setEnabled(false);
    const QString name = m_archive.fileName().isEmpty() ? QStringLiteral("kalvora-update") : m_archive.fileName();
    QPointer<UpdateWindowController> self(this);
    m_interaction->chooseSaveFile(this, name, [self](const QString& path) {
        if (!self)
            return;
        if (path.isEmpty())
            self->end({});
        else
            self->save(path);
    });
}

void UpdateWindowController::save(const QString& path)
{
    // Written beside the target and renamed over it: an interrupted write leaves no half archive.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_received) != m_received.size() || !file.commit()) {
        fail(tr("The update could not be saved."), tr("%1: %2").arg(path, file.errorString()));
        return;
    }
    m_received.clear();
    m_interaction->showAlert(this, tr("The update was saved as %1.").arg(QFileInfo(path).fileName()),
                             tr("Install it with your distribution's package manager (for a Debian package: "
                                "sudo apt install %1), then start Kalvora again.")
                                 .arg(path));
    end(path);
}

void UpdateWindowController::fail(const QString& message, const QString& informative)
{
    m_interaction->showAlert(this, message, informative);
    end({});
}

void UpdateWindowController::cancel()
{
    if (m_reply)
        m_reply->abort();
    end({});
}

void UpdateWindowController::end(const QString& savedPath)
{
    if (m_done)
        return;
    m_done = true;
    m_received.clear();
    close();
    emit finished(savedPath);
}

UpdateController::UpdateController(HttpClient& client, QVersionNumber running,
                                   std::shared_ptr<UpdateInteraction> interaction, QObject* parent)
    : QObject(parent),
      m_client(client),
      m_running(std::move(running)),
      m_interaction(interaction ? std::move(interaction) : makeUpdateDialogs()),
      m_worker(std::make_unique<QThreadPool>())
{
    m_worker->setMaxThreadCount(1);
}

UpdateController::~UpdateController()
{
    waitForCheck();
    delete m_window.data();
}

void UpdateController::waitForCheck()
{
    m_worker->waitForDone();
}

void UpdateController::checkUpdates(Trigger trigger, QWidget* window)
{
    if (trigger == Trigger::AtStart && QSettings().value(kNoAutoUpdateKey, false).toBool())
        return;
    const QUrl endpoint = updateServiceUrl();
    if (endpoint.isEmpty()) {
        // No address, no traffic; only a user who asked is told why nothing happens.
        if (trigger == Trigger::Manual)
            m_interaction->showAlert(window, tr("No update address is set."),
                                     tr("Kalvora looks for new versions only at an address you set (preference "
                                        "\"UpdateURL\"). Your distribution's package manager also keeps it up to "
                                        "date."));
        return;
    }
    QPointer<UpdateController> self(this);
    QPointer<QWidget> guardedWindow(window);
    HttpClient* client = &m_client;
    const QVersionNumber running = m_running;
    m_worker->start([self, client, endpoint, running, trigger, guardedWindow] {
        const UpdateCheckResult result = checkForUpdate(*client, endpoint, running);
        QMetaObject::invokeMethod(
            qApp,
            [self, trigger, guardedWindow, result] {
                if (self)
                    self->answered(trigger, guardedWindow, result);
            },
            Qt::QueuedConnection);
    });
}

void UpdateController::answered(Trigger trigger, QPointer<QWidget> window, const UpdateCheckResult& result)
{
    const bool manual = trigger == Trigger::Manual;
    using Outcome = UpdateCheckResult::Outcome;
    switch (result.outcome) {
    case Outcome::NewerFree: {
        const QString message = tr("Kalvora version %1 is available as free download. Do you want to download the "
                                   "new version now?")
                                    .arg(result.versionText);
        QPointer<UpdateController> self(this);
        const QUrl archive = result.archive;
        m_interaction->askDownload(window, message, [self, archive](bool download, bool suppress) {
            QSettings settings;
            settings.setValue(kNoAutoUpdateKey, suppress);
            settings.sync();
            if (self && download)
                self->update(archive);
        });
        break;
    }
    case Outcome::NewerOther:
        if (manual)
            m_interaction->showAlert(window, tr("Kalvora version %1 is available.").arg(result.versionText),
                                     tr("It is not offered as a free download; see the project's release page."));
        break;
    case Outcome::UpToDate:
        if (manual)
            m_interaction->showAlert(window, tr("You are up to date"),
                                     tr("Kalvora %1 is the newest version.").arg(m_running.toString()));
        break;
    case Outcome::Failed:
        if (manual)
            m_interaction->showAlert(window, tr("The update check failed."), result.reason);
        break;
    }
    emit checkFinished(result);
}

void UpdateController::update(const QUrl& archive)
{
    delete m_window.data();
    m_window = new UpdateWindowController(archive, m_interaction);
    m_window->setAttribute(Qt::WA_DeleteOnClose);
    m_window->show();
    m_window->start();
}

} // namespace kalvora
