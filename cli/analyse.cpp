// kalvora-cli analyse FILE...: the flight analysis of IGC files, one JSON object per line.

#include <QJsonObject>

#include "cli/command.h"
#include "cli/flightfile.h"
#include "track/igcflight.h"
#include "track/utcdate.h"

namespace kalvora::cli {
namespace {

QJsonValue pointJson(const std::optional<IGCPoint>& point)
{
    if (!point)
        return QJsonValue::Null;
    return QJsonObject{{"lat", point->lat}, {"lon", point->lon}, {"alt", point->getAlt(false)}};
}

QJsonValue instantJson(const std::optional<std::chrono::sys_seconds>& instant)
{
    if (!instant)
        return QJsonValue::Null;
    return QString::fromStdString(utc::toIso8601(*instant));
}

QString timeOfDay(std::int64_t seconds)
{
    return QString::asprintf("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                             static_cast<long long>(seconds % 3600 / 60),
                             static_cast<long long>(seconds % 60));
}

int runAnalyse(const QStringList& args)
{
    if (args.isEmpty()) {
        printError(QStringLiteral("Usage: kalvora-cli analyse FILE..."));
        return 2;
    }
    int failures = 0;
    for (const QString& path : args) {
        const std::optional<IGCFlight> flight = readAnalysedFlight(path);
        if (!flight) {
            ++failures;
            continue;
        }
        printJson(QJsonObject{
            {"file", path},
            {"date", QString::fromStdString(flight->DATE)},
            {"startTime", timeOfDay(flight->START_TIME)},
            {"endTime", timeOfDay(flight->END_TIME)},
            {"duration", static_cast<qint64>(flight->DURATION)},
            {"takeoff", pointJson(flight->firstTrackPoint)},
            {"landing", pointJson(flight->lastTrackPoint)},
            {"maxAltitude", flight->MAX_ALT},
            {"minAltitude", flight->MIN_ALT},
            {"cumulatedClimb", flight->CUMMO_ALT},
            {"maxSpeed", flight->MAX_SPEED},
            {"meanSpeed", flight->MEAN_SPEED},
            {"maxVario", flight->MAX_VARIO},
            {"minVario", flight->MIN_VARIO},
            {"linearDistance", flight->LINEAR_DISTANCE},
            {"valid", flight->validFlight},
            {"glider",
             QString::fromUtf8(flight->glider.data(), static_cast<qsizetype>(flight->glider.size()))},
            {"startUTC", instantJson(flight->startUTC())},
            {"landingUTC", instantJson(flight->landingUTC())},
        });
    }
    return failures > 0 ? 1 : 0;
}

static RegisterCommand reg{{"analyse", "analyse FILE...",
                            "Analyse IGC files: take-off, landing and statistics, one JSON object per file",
                            &runAnalyse}};

} // namespace
} // namespace kalvora::cli
