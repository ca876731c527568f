#include "ui/device/deviceinteraction.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace kalvora {

namespace {

class SheetInteraction final : public DeviceInteraction
{
public:
    void askWarning(QWidget* window, const QString& message, std::function<void(bool)> reply) override
    {
        auto* box = new QMessageBox(QMessageBox::Warning, QMessageBox::tr("Warning"), message, QMessageBox::NoButton,
                                    window);
        QPushButton* cancel = box->addButton(QMessageBox::tr("Cancel"), QMessageBox::RejectRole);
        QPushButton* ok = box->addButton(QMessageBox::tr("Ok"), QMessageBox::AcceptRole);
        box->setDefaultButton(cancel);
        box->setEscapeButton(cancel);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QObject::connect(box, &QMessageBox::finished, box, [box, ok, reply = std::move(reply)](int) {
            reply(box->clickedButton() == ok);
        });
        box->open();
    }

    void confirmVolume(QWidget* window, const QString& volume, std::function<void(bool)> reply) override
    {
        auto* dialog = new QFileDialog(window, QFileDialog::tr("Choose SkyTraxx directory..."), volume);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        dialog->setLabelText(QFileDialog::Accept, QFileDialog::tr("Choose"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        QObject::connect(dialog, &QFileDialog::finished, dialog,
                         [reply = std::move(reply)](int result) { reply(result == QDialog::Accepted); });
        dialog->open();
    }

    void showAlert(QWidget* window, const QString& message, const QString& informative) override
    {
        auto* box = new QMessageBox(QMessageBox::Warning, message, message, QMessageBox::NoButton, window);
        box->addButton(QMessageBox::tr("Ok"), QMessageBox::AcceptRole);
        box->setInformativeText(informative);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
    }
};

} // namespace

std::shared_ptr<DeviceInteraction> makeDeviceSheetInteraction()
{
    return std::make_shared<SheetInteraction>();
}

} // namespace kalvora
