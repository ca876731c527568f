#include "app/about.h"

#include <QApplication>
#include <QMessageBox>

#include "track/version.h"

namespace kalvora {

QString aboutText()
{
    return QApplication::translate("About", "<h3>Kalvora %1</h3>"
                                            "<p>A flight logbook for paraglider and hang-glider pilots.</p>"
                                            "<p>Distributed under the %2.</p>")
        .arg(QString::fromLatin1(versionString()).toHtmlEscaped(), QString::fromLatin1(kLicenceName));
}

void showAboutBox(QWidget* window)
{
    auto* box = new QMessageBox(QMessageBox::Information, QApplication::translate("About", "About Kalvora"),
                                aboutText(), QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setTextFormat(Qt::RichText);
    box->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

} // namespace kalvora
