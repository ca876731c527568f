// Writes the PNG sizes of Kalvora's icon for the hicolor theme:
//   kalvora-icon OUTDIR   ->  OUTDIR/<n>x<n>/apps/kalvora.png for every installed size
#include <cstdio>

#include <QDir>
#include <QString>

#include "app/appicon.h"

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kalvora-icon OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int size : kalvora::AppIconSizes) {
        const QString folder = out.filePath(QStringLiteral("%1x%1/apps").arg(size));
        const QString file = QDir(folder).filePath(QStringLiteral("kalvora.png"));
        if (!QDir().mkpath(folder) || !kalvora::paintAppIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "kalvora-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
