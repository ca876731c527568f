// kalvora-cli score FILE... [--points-type 0|1]: the XC scores of IGC files, one JSON object per line.

#include <QJsonArray>
#include <QJsonObject>

#include <chrono>
#include <optional>

#include "cli/clisettings.h"
#include "cli/command.h"
#include "cli/flightfile.h"
#include "model/settings.h"
#include "track/igcflight.h"
#include "track/igcscrore.h"

namespace kalvora::cli {
namespace {

int runScore(const QStringList& args)
{
    QStringList files;
    std::optional<int> pointsType;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--points-type")) {
            bool ok = false;
            pointsType = i + 1 < args.size() ? args[i + 1].toInt(&ok) : 0;
            if (!ok || (pointsType != 0 && pointsType != 1)) {
                printError(QStringLiteral("--points-type needs 0 or 1"));
                return 2;
            }
            ++i;
        } else {
            files << args[i];
        }
    }
    if (files.isEmpty()) {
        printError(QStringLiteral("Usage: kalvora-cli score FILE... [--points-type 0|1]"));
        return 2;
    }
    if (!pointsType) {
        // The points system of the user's settings, as the logbook shows it.
        useUserSettings();
        const std::optional<UnitSettings> settings = Settings::current();
        pointsType = settings ? settings->xcPointsType : 0;
    }
    int failures = 0;
    for (const QString& path : files) {
        // The background XC computation scores what the flight analysis leaves.
        std::optional<IGCFlight> flight = readAnalysedFlight(path);
        if (!flight) {
            ++failures;
            continue;
        }
        const std::size_t fixes = IGCScrore::analyzeIGC(flight->igcLines, 90, 0, 86400, false, *flight).size();
        const auto start = std::chrono::steady_clock::now();
        const Result<Done> scored = IGCScrore::calcFlightData(*flight);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!scored) {
            printError(QStringLiteral("%1: %2").arg(path, QString::fromStdString(scored.error())));
            ++failures;
            continue;
        }
        const double freeKm = flight->freeDistance, flatKm = flight->flatDistance, faiKm = flight->faiDistance;
        QJsonArray points;
        for (const XCScorePoint& p : flight->scorePoints)
            points.append(QJsonArray{p.latitude, p.longitude});
        printJson(QJsonObject{
            {"file", path},
            {"fixes", qint64(fixes)},
            {"freeKm", freeKm},
            {"flatKm", flatKm},
            {"faiKm", faiKm},
            {"scoreType", IGCScrore::scoreType(freeKm, flatKm, faiKm)},
            {"xcPoints", IGCScrore::points(freeKm, flatKm, faiKm, pointsType)},
            {"distanceKm", IGCScrore::maxDistance(freeKm, flatKm, faiKm)},
            {"points", points},
            {"seconds", seconds},
        });
    }
    return failures > 0 ? 1 : 0;
}

static RegisterCommand reg{{"score", "score FILE... [--points-type 0|1]",
                            "XC free distance, flat and FAI triangle of IGC files, with XC points (by default in the "
                            "points system of the settings)", &runScore}};

} // namespace
} // namespace kalvora::cli
