#include "app/appinteraction.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace kalvora {

namespace {

class DialogInteraction final : public AppInteraction
{
public:
    bool presentError(const PresentableError& error) override
    {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), error.description, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.setInformativeText(error.failureReason);
        box.exec();
        return false;
    }

    bool askQuitAnyway() override
    {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationName(),
                        QApplication::translate("KalvoraAppDelegate", "Could not save changes while quitting. Quit anyway?"),
                        QMessageBox::NoButton, QApplication::activeWindow());
        box.setInformativeText(QApplication::translate(
            "KalvoraAppDelegate", "Quitting now will lose any changes you have made since the last successful save"));
        QPushButton* quit = box.addButton(QApplication::translate("KalvoraAppDelegate", "Quit anyway"),
                                          QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(QApplication::translate("KalvoraAppDelegate", "Cancel"), QMessageBox::RejectRole);
        box.setDefaultButton(cancel);
        box.exec();
        return box.clickedButton() == quit;
    }

    bool askOpenDamagedReadOnly(const PresentableError& error) override
    {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), error.description, QMessageBox::NoButton,
                        QApplication::activeWindow());
        box.setInformativeText(
            error.failureReason + QStringLiteral("\n\n") +
            QApplication::translate("KalvoraAppDelegate",
                                    "Open it read-only to see what can still be read? Nothing will be written to it."));
        QPushButton* open = box.addButton(QApplication::translate("KalvoraAppDelegate", "Open Read-Only"),
                                          QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QApplication::translate("KalvoraAppDelegate", "Cancel"), QMessageBox::RejectRole);
        box.setDefaultButton(cancel);
        box.exec();
        return box.clickedButton() == open;
    }
};

} // namespace

std::unique_ptr<AppInteraction> makeDialogInteraction()
{
    return std::make_unique<DialogInteraction>();
}

} // namespace kalvora
