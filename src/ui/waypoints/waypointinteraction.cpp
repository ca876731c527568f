#include "ui/waypoints/waypointinteraction.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "waypoints/waypointfile.h"

namespace kalvora {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("WaypointInteraction", text);
}

class DialogInteraction final : public WaypointInteraction
{
public:
    void chooseImportFiles(QWidget* parent, const QStringList& filters,
                           std::function<void(const QStringList&)> reply) override
    {
        auto* dialog = new QFileDialog(parent, tr("Import WPT file(s)"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setFileMode(QFileDialog::ExistingFiles);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setNameFilters(filters);
        dialog->setOption(QFileDialog::ReadOnly);
        // Whichever way the panel closes, the window hears exactly once.
        auto answered = std::make_shared<bool>(false);
        QObject::connect(dialog, &QFileDialog::filesSelected, dialog,
                         [reply, answered](const QStringList& files) {
                             *answered = true;
                             reply(files);
                         });
        QObject::connect(dialog, &QDialog::rejected, dialog, [reply, answered] {
            if (!*answered)
                reply({});
        });
        dialog->open();
    }

    void chooseExportFile(QWidget* parent, const QString& proposedName, const QStringList& filters,
                          std::function<void(const std::optional<QString>&)> reply) override
    {
        auto* dialog = new QFileDialog(parent, tr("Export waypoints"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setNameFilters(filters);
        // The proposed name's type is the one chosen first; the default suffix follows the chosen type.
        const auto follow = [dialog](const QString& filter) {
            if (const auto format = waypointExportFormat(QString(), filter))
                dialog->setDefaultSuffix(waypointFileSuffix(*format));
        };
        for (const QString& filter : filters) {
            if (waypointExportFormat(proposedName) == waypointExportFormat(QString(), filter)) {
                dialog->selectNameFilter(filter);
                break;
            }
        }
        follow(dialog->selectedNameFilter());
        QObject::connect(dialog, &QFileDialog::filterSelected, dialog, follow);
        dialog->setDirectory(QDir::homePath());
        dialog->selectFile(proposedName);
        auto answered = std::make_shared<bool>(false);
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                         [dialog, reply, answered](const QString& file) {
                             *answered = true;
                             reply(waypointExportPath(file, dialog->selectedNameFilter()));
                         });
        QObject::connect(dialog, &QDialog::rejected, dialog, [reply, answered] {
            if (!*answered)
                reply(std::nullopt);
        });
        dialog->open();
    }

    void askShare(QWidget* parent, std::function<void(bool)> reply) override
    {
        auto* box = new QMessageBox(parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setIcon(QMessageBox::Question);
        box->setText(
            tr("Check this will upload the waypoint to the online database. Be sure that the waypoint is "
               "created correctly with all needed informations!"));
        QPushButton* ok = box->addButton(tr("Ok"), QMessageBox::AcceptRole);
        box->addButton(tr("Cancel"), QMessageBox::RejectRole);
        box->setDefaultButton(ok);
        QObject::connect(box, &QMessageBox::finished, box,
                         [box, ok, reply] { reply(box->clickedButton() == ok); });
        box->open();
    }

    void alert(QWidget* parent, const QString& message, const QString& informative) override
    {
        auto* box = new QMessageBox(parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setIcon(QMessageBox::Warning);
        box->setText(message);
        box->setInformativeText(informative);
        box->addButton(tr("Ok"), QMessageBox::AcceptRole);
        box->open();
    }

    void openUrl(const QUrl& url) override { QDesktopServices::openUrl(url); }
};

} // namespace

std::unique_ptr<WaypointInteraction> makeWaypointDialogInteraction()
{
    return std::make_unique<DialogInteraction>();
}

} // namespace kalvora
