// Saves COUNT flights into LOGBOOK, one save each, and prints "saved <n> <uri>"
// after each commit, so a test can kill it at any point and check what survived.
#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fputs("usage: kalvora_crash_writer LOGBOOK COUNT\n", stderr);
        return 2;
    }
    auto store = kalvora::PersistentStore::open(args[1], kalvora::ObjectModel::logBook());
    if (!store) {
        std::fprintf(stderr, "%s\n", store.error().c_str());
        return 1;
    }
    kalvora::ObjectContext* ctx = (*store)->mainContext();
    ctx->setUndoEnabled(false);
    const int count = args[2].toInt();
    const QDateTime base(QDate(2024, 5, 1), QTime(9, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        auto* f = ctx->insert<kalvora::Flight>();
        f->setStartUTC(base.addSecs(qint64(i) * 3600));
        f->setLandingUTC(base.addSecs(qint64(i) * 3600 + 1800));
        f->setStartLocation(QStringLiteral("Flight %1").arg(i));
        f->setIgcData(QString(2000, QLatin1Char('B')));
        if (auto saved = ctx->save(); !saved) {
            std::fprintf(stderr, "%s\n", saved.error().c_str());
            return 1;
        }
        std::printf("saved %d %s\n", i, qPrintable(f->objectId().uriString()));
        std::fflush(stdout);
    }
    return 0;
}
