#include "ui/windowinteraction.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace kalvora {

namespace {

QString tr(const char* text)
{
    return QApplication::translate("WindowInteraction", text);
}

/** A window-modal box that answers through @p reply once closed, then deletes itself. */
void ask(QWidget* window, QMessageBox::Icon icon, const QString& message, const QString& informative,
         const QString& accept, const QString& reject, bool acceptIsDefault, std::function<void(bool)> reply)
{
    auto* box = new QMessageBox(icon, QApplication::applicationName(), message, QMessageBox::NoButton, window);
    box->setInformativeText(informative);
    QPushButton* yes = box->addButton(accept, QMessageBox::AcceptRole);
    QPushButton* no = box->addButton(reject, QMessageBox::RejectRole);
    box->setDefaultButton(acceptIsDefault ? yes : no);
    box->setEscapeButton(no);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, yes, reply = std::move(reply)](int) { reply(box->clickedButton() == yes); });
    box->open();
}

class SheetInteraction final : public WindowInteraction
{
public:
    void askDeleteFlights(QWidget* window, int count, std::function<void(bool)> reply) override
    {
        ask(window, QMessageBox::Question,
            count == 1 ? tr("Delete the selected flight?")
                       : QApplication::translate("WindowInteraction", "Delete the %n selected flights?", nullptr, count),
            tr("Deleted flights cannot be brought back with Undo."), tr("Delete"), tr("Cancel"), false,
            std::move(reply));
    }

    void askDeleteEquipment(QWidget* window, int count, std::function<void(bool)> reply) override
    {
        ask(window, QMessageBox::Question,
            QApplication::translate("WindowInteraction", "Delete the %n selected equipment item(s)?", nullptr, count),
            tr("Flights keep the glider and harness names they have."), tr("Delete"), tr("Cancel"), false,
            std::move(reply));
    }

    void askInvalidateIGC(QWidget* window, std::function<void(bool)> reply) override
    {
        ask(window, QMessageBox::Warning, tr("Uncheck will invalidate IGC flight. This can not be undone! Are you sure ?"),
            QString(), tr("Ok"), tr("Cancel"), false, std::move(reply));
    }

    void askRecalculate(QWidget* window, int edited, std::function<void(bool)> reply) override
    {
        ask(window, QMessageBox::Question,
            QApplication::translate("WindowInteraction", "Recalculate %n flight(s) from the IGC record?", nullptr,
                                    edited),
            tr("Times, UTC offset, places, glider and harness entered by hand are replaced by the values read from "
               "the IGC record."),
            tr("Recalculate"), tr("Cancel"), false, std::move(reply));
    }

    void showAlert(QWidget* window, const QString& message, const QString& informative) override
    {
        auto* box = new QMessageBox(QMessageBox::Warning, QApplication::applicationName(), message, QMessageBox::Ok,
                                    window);
        box->setObjectName(QStringLiteral("alert"));
        box->setInformativeText(informative);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    }

    void chooseFile(QWidget* window, const FileRequest& request, std::function<void(const QString&)> reply) override
    {
        auto* dialog = new QFileDialog(window, request.title);
        dialog->setNameFilter(request.nameFilter);
        dialog->setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [reply](const QString& path) { reply(path); });
        dialog->open();
    }
};

} // namespace

std::shared_ptr<WindowInteraction> makeSheetInteraction()
{
    return std::make_shared<SheetInteraction>();
}

QString describeFailures(const QList<FileFailure>& failures)
{
    QStringList lines;
    for (const FileFailure& failure : failures)
        lines << QStringLiteral("%1: %2").arg(QFileInfo(failure.path).fileName(), failure.reason);
    return lines.join(QLatin1Char('\n'));
}

} // namespace kalvora
