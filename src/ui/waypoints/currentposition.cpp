#include "ui/waypoints/currentposition.h"

#include <QObject>
#include <QTimer>

#include <utility>

#ifdef KALVORA_HAVE_POSITIONING
#include <QGeoPositionInfoSource>
#endif

namespace kalvora {
namespace {

class SystemPositionSource final : public CurrentPositionSource
{
public:
    SystemPositionSource(std::function<std::optional<GeoDegrees>()> fallback, int timeoutMs)
        : m_fallback(std::move(fallback)), m_timeoutMs(timeoutMs)
    {}

    void requestPosition(QObject* receiver, std::function<void(std::optional<GeoDegrees>)> reply) override
    {
        auto fallback = m_fallback;
        const auto answerFromFallback = [fallback, reply] { reply(fallback ? fallback() : std::nullopt); };
#ifdef KALVORA_HAVE_POSITIONING
        QGeoPositionInfoSource* source = QGeoPositionInfoSource::createDefaultSource(receiver);
        if (source) {
            // One answer only: the first report, or the fallback on an error or the time-out.
            auto answered = std::make_shared<bool>(false);
            QObject::connect(source, &QGeoPositionInfoSource::positionUpdated, receiver,
                             [source, answered, reply](const QGeoPositionInfo& info) {
                                 if (std::exchange(*answered, true))
                                     return;
                                 source->stopUpdates();
                                 source->deleteLater();
                                 const QGeoCoordinate c = info.coordinate();
                                 reply(c.isValid() ? std::optional(GeoDegrees{c.latitude(), c.longitude()})
                                                   : std::nullopt);
                             });
            QObject::connect(source, &QGeoPositionInfoSource::errorOccurred, receiver,
                             [source, answered, answerFromFallback](QGeoPositionInfoSource::Error) {
                                 if (std::exchange(*answered, true))
                                     return;
                                 source->deleteLater();
                                 answerFromFallback();
                             });
            source->requestUpdate(m_timeoutMs);
            return;
        }
#else
        (void)m_timeoutMs;
#endif
        QTimer::singleShot(0, receiver, answerFromFallback);
    }

private:
    std::function<std::optional<GeoDegrees>()> m_fallback;
    int m_timeoutMs;
};

} // namespace

bool systemPositioningBuiltIn()
{
#ifdef KALVORA_HAVE_POSITIONING
    return true;
#else
    return false;
#endif
}

std::unique_ptr<CurrentPositionSource>
makeSystemPositionSource(std::function<std::optional<GeoDegrees>()> fallback, int timeoutMs)
{
    return std::make_unique<SystemPositionSource>(std::move(fallback), timeoutMs);
}

} // namespace kalvora
