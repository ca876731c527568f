/*
 * waypointshow: the waypoint windows over sample places, for screenshots.
 * It fills a global store in a temporary folder with N waypoints (default 50)
 * around Innsbruck and two routes, and shows one of:
 *
 *   waypoints - the waypoint window, sorted by distance from Innsbruck;
 *   picker    - the waypoint picker for a take-off at the Patscherkofel;
 *   routes    - the route window.
 *
 *   build/tools/waypointshow/waypointshow waypoints|picker|routes [N]
 *
 * Nothing leaves the machine: there is no place finder and no upload.
 */
#include <cmath>
#include <cstdio>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "model/route.h"
#include "model/waypoint.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "ui/waypoints/currentposition.h"
#include "ui/waypoints/routewindowcontroller.h"
#include "ui/waypoints/selectwaypointcontroller.h"
#include "ui/waypoints/waypointwindowcontroller.h"

using namespace kalvora;

namespace {

class Innsbruck final : public CurrentPositionSource
{
public:
    void requestPosition(QObject* receiver, std::function<void(std::optional<GeoDegrees>)> reply) override
    {
        QMetaObject::invokeMethod(
            receiver,
            [reply] {
                reply(GeoDegrees{47.2692, 11.4041});
            },
            Qt::QueuedConnection);
    }
};

const char* const kSites[] = {
    "Patscherkofel Startplatz", "Nordkette Seegrube", "Hohe Salve",
    "Kitzbuehler Horn",         "Stubaier Gletscher", "Elferlifte Neustift",
    "Zillertal Penken",         "Gerlosstein",        "Hochzillertal",
    "Achenkirch Christlum",     "Wallberg",           "Brauneck",
    "Kössen Unterberg",         "Lienz Zettersfeld",  "Greifenburg Emberger Alm",
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("waypoints");
    const int count = argc > 2 ? std::max(1, atoi(argv[2])) : 50;
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    auto opened =
        PersistentStore::open(dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
    if (!opened) {
        std::fprintf(stderr, "cannot open a store\n");
        return 1;
    }
    ObjectContext* ctx = (*opened)->mainContext();
    const QStringList countries{QStringLiteral("Österreich"), QStringLiteral("Deutschland")};
    for (int i = 0; i < count; ++i) {
        auto* w = ctx->insert<Waypoint>();
        w->clearWaypoint();
        const QString site = QString::fromUtf8(kSites[i % std::size(kSites)]);
        w->setName(i < int(std::size(kSites))
                       ? site
                       : QStringLiteral("%1 %2").arg(site).arg(i / std::size(kSites) + 1));
        w->setShortName(QString(site).remove(QLatin1Char(' ')).left(6).toUpper() + QString::number(i));
        const double angle = i * 2.399963; // spread on a spiral
        const double radius = 2000.0 + 2500.0 * i;
        w->setLatitude(qint64(47269200 + radius * std::cos(angle)));
        w->setLongitude(qint64(11404100 + radius * std::sin(angle) * 1.47));
        w->setAltitude(600 + (i * 137) % 2200);
        w->setCity(i % 3 == 0 ? QStringLiteral("Innsbruck") : QStringLiteral("Schwaz"));
        w->setCountry(countries[i % 9 == 4 ? 1 : 0]);
        w->setValue(QStringLiteral("lastModified"), 1.7e9 + i * 86400.0);
        if (i % 7 == 0) {
            w->setSyncOnline(1);
            w->setSyncStatus(1);
        }
    }
    const auto addRoute = [ctx](const QString& name, const QList<QPair<double, double>>& points) {
        auto* route = ctx->insert<Route>();
        route->setName(name);
        int n = 0;
        for (const auto& [lat, lon] : points)
            route->appendWaypoint(lat, lon, 1500, 400, QStringLiteral("%1_TP%2").arg(name.left(8)).arg(++n));
    };
    addRoute(QStringLiteral("Inntal FAI"), {{47.21, 11.46}, {47.35, 11.75}, {47.12, 11.82}, {47.21, 11.46}});
    addRoute(QStringLiteral("Zillertal out and back"), {{47.17, 11.87}, {47.05, 11.95}, {47.17, 11.87}});
    addRoute(QStringLiteral("Stubai"), {{47.11, 11.31}, {46.99, 11.12}});
    if (!ctx->save().ok())
        return 1;

    std::unique_ptr<QWidget> shown;
    if (mode == QLatin1String("picker")) {
        auto* owner = new WaypointWindowController(ctx, {}, nullptr, std::make_unique<Innsbruck>());
        owner->windowDidLoad();
        owner->show();
        auto* picker = new SelectWaypointController(ctx, 47.2111, 11.4619, 1950, {}, owner);
        QObject::connect(picker, &SelectWaypointController::didCancel, picker, &QWidget::close);
        picker->show();
        shown.reset(owner);
    } else if (mode == QLatin1String("routes")) {
        shown = std::make_unique<RouteWindowController>(ctx);
        shown->show();
    } else {
        auto window = std::make_unique<WaypointWindowController>(ctx, WaypointServices{}, nullptr,
                                                                 std::make_unique<Innsbruck>());
        window->windowDidLoad();
        window->show();
        QMetaObject::invokeMethod(
            window.get(),
            [w = window.get()] {
                w->sortWaypoints(WaypointSortType::Distance);
                w->setSelectedWaypoints({w->waypointList().value(1)});
            },
            Qt::QueuedConnection);
        shown = std::move(window);
    }
    return QApplication::exec();
}
