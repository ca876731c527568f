#include <QApplication>

#include "track/version.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kalvora"));
    QApplication::setOrganizationName(QStringLiteral("Kalvora"));
    QApplication::setApplicationVersion(QString::fromLatin1(kalvora::versionString()));
    return 0;
}
