#include "ui/map/flightmapwindowcontroller.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "map/tilesource.h"
#include "model/flight.h"
#include "store/notificationcenter.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/map/altitudeprofile.h"
#include "ui/map/mapwidget.h"
#include "ui/stats/flightstatswindowcontroller.h"

namespace kalvora {
namespace {

const QString kGeometryKey = QStringLiteral("geometry");
const QString kSplitterKey = QStringLiteral("splitter");
const QString kColouringKey = QStringLiteral("colouring");

} // namespace

FlightMapWindowController::FlightMapWindowController(const map::TileLoader::Options& tiles, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FlightMap"));
    setWindowTitle(tr("Flight Map"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    m_colouring = new QComboBox(this);
    m_colouring->setObjectName(QStringLiteral("colouring"));
    m_colouring->addItem(tr("Altitude"), int(map::TrackColouring::Altitude));
    m_colouring->addItem(tr("Climb"), int(map::TrackColouring::Climb));
    m_colouring->addItem(tr("Track colour"), int(map::TrackColouring::Plain));
    m_colouring->setToolTip(tr("How a single flight's track is coloured"));
    auto* colouringLabel = new QLabel(tr("&Colour by:"), this);
    colouringLabel->setBuddy(m_colouring);

    m_sources = createTileSourceChooser(this);
    const map::TileSource source = map::currentTileSource();

    m_fit = new QPushButton(tr("&Show Whole Flight"), this);
    m_fit->setObjectName(QStringLiteral("fitSelection"));
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("flightSummary"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_map = new MapWidget(source, tiles, this);
    m_map->setObjectName(QStringLiteral("flightMapView"));
    m_map->setAccessibleName(tr("Flight map"));
    m_map->tileMap()->addLayer(&m_layer);
    m_profile = new AltitudeProfile(this);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(m_map);
    m_splitter->addWidget(m_profile);
    m_splitter->setStretchFactor(0, 4);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_summary, 1);
    bar->addWidget(colouringLabel);
    bar->addWidget(m_colouring);
    bar->addWidget(m_sources);
    bar->addWidget(m_fit);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(m_splitter, 1);

    connect(m_colouring, &QComboBox::currentIndexChanged, this, &FlightMapWindowController::colouringChosen);
    connect(m_sources, &QComboBox::currentIndexChanged, this, &FlightMapWindowController::sourceChosen);
    connect(m_fit, &QPushButton::clicked, this, &FlightMapWindowController::fitToSelection);
    connect(m_map, &MapWidget::hovered, this, &FlightMapWindowController::mapHovered);
    connect(m_profile, &AltitudeProfile::cursorMoved, this, &FlightMapWindowController::profileCursorMoved);
    connect(&NotificationCenter::instance(), &NotificationCenter::notified, this,
            &FlightMapWindowController::notified);
    // The front logbook window is the one whose selection is shown.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        for (const QPointer<LogBookWindowController>& logbook : std::as_const(m_logbooks)) {
            if (logbook && window && logbook->windowHandle() == window && logbook != m_followed)
                followLogbook(logbook);
        }
    });
    restoreLayout();
}

FlightMapWindowController::~FlightMapWindowController()
{
    m_map->tileMap()->removeLayer(&m_layer);
}

void FlightMapWindowController::restoreLayout()
{
    QSettings settings;
    settings.beginGroup(objectName());
    if (!restoreGeometry(settings.value(kGeometryKey).toByteArray()))
        resize(960, 720);
    m_splitter->restoreState(settings.value(kSplitterKey).toByteArray());
    const int colouring =
        m_colouring->findData(settings.value(kColouringKey, int(map::TrackColouring::Altitude)));
    m_colouring->setCurrentIndex(std::max(0, colouring));
    m_layer.setColouring(map::TrackColouring(m_colouring->currentData().toInt()));
}

void FlightMapWindowController::closeEvent(QCloseEvent* event)
{
    QSettings settings;
    settings.beginGroup(objectName());
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kSplitterKey, m_splitter->saveState());
    QWidget::closeEvent(event);
}

void FlightMapWindowController::addLogbook(LogBookWindowController* logbook)
{
    if (!logbook || m_logbooks.contains(logbook))
        return;
    m_logbooks.append(logbook);
    if (!m_followed)
        followLogbook(logbook);
}

void FlightMapWindowController::followLogbook(LogBookWindowController* logbook)
{
    if (logbook == m_followed)
        return;
    if (m_followed && m_followed->flightTable())
        m_followed->flightTable()->selectionModel()->disconnect(this);
    addLogbook(logbook);
    m_followed = logbook;
    if (logbook && logbook->flightTable()) {
        connect(logbook->flightTable()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &FlightMapWindowController::selectionDidChange);
    }
    reload(true);
}

void FlightMapWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
    reload(true);
}

QList<Flight*> FlightMapWindowController::shownFlights() const
{
    QList<Flight*> flights;
    for (const QPointer<Flight>& flight : m_shown) {
        if (flight)
            flights << flight;
    }
    return flights;
}

void FlightMapWindowController::selectionDidChange()
{
    reload(true);
}

void FlightMapWindowController::notified(const QString& name, QObject* object, const QVariantMap& userInfo)
{
    if (name == QLatin1String(notifications::FlightControllersDidChange)) {
        if (userInfo.value(QStringLiteral("Add")).toBool()) {
            if (auto* logbook = qobject_cast<LogBookWindowController*>(object))
                addLogbook(logbook);
            return;
        }
        // The window is going away: forget it, follow another one if any is left.
        for (qsizetype i = m_logbooks.size() - 1; i >= 0; --i) {
            if (!m_logbooks[i] || m_logbooks[i].data() == object)
                m_logbooks.removeAt(i);
        }
        if (!m_followed || m_followed.data() == object) {
            m_followed = nullptr;
            m_shown.clear();
            if (!m_logbooks.isEmpty())
                followLogbook(m_logbooks.first());
            else
                reload(false);
        }
        return;
    }
    // A new score (or a changed record) of a shown flight redraws it in place.
    if (name == QLatin1String(notifications::FlightChanged)) {
        for (const QPointer<Flight>& flight : std::as_const(m_shown)) {
            // A new score changes the distances and each turnpoint in turn: read the flight once they are all
            // in.
            if (flight && flight.data() == object && !m_reloadQueued) {
                m_reloadQueued = true;
                QTimer::singleShot(0, this, [this] {
                    m_reloadQueued = false;
                    reload(false);
                });
                return;
            }
        }
    }
}

void FlightMapWindowController::reload(bool fit)
{
    QList<Flight*> selected = m_followed ? m_followed->selectedFlights() : QList<Flight*>();
    const qsizetype total = selected.size();
    selected = selected.mid(0, kMaxTracks);
    const bool sameFlights = selected == shownFlights() && !selected.isEmpty();
    m_shown.clear();
    std::vector<map::FlightTrack> tracks;
    const auto& colours = FlightStatsWindowController::slotColors();
    for (qsizetype i = 0; i < selected.size(); ++i) {
        m_shown << selected[i];
        tracks.push_back(map::flightTrackOf(*selected[i], colours[size_t(i)]));
    }
    const std::optional<std::size_t> cursor = m_layer.cursor();
    m_layer.setTracks(std::move(tracks));
    m_profile->setTrack(m_layer.tracks().empty() ? map::FlightTrack{} : m_layer.tracks().front());
    if (sameFlights && cursor) {
        m_layer.setCursor(cursor);
        m_profile->setCursor(cursor);
    }
    updateSummary();
    if (total > kMaxTracks)
        m_summary->setText(m_summary->text() +
                           tr(" (the first %1 of %2 selected)").arg(kMaxTracks).arg(total));
    if (fit && !sameFlights)
        fitToSelection();
    m_map->update();
}

void FlightMapWindowController::fitToSelection()
{
    const bool anyFix = std::any_of(m_layer.tracks().begin(), m_layer.tracks().end(),
                                    [](const map::FlightTrack& track) { return !track.fixes.empty(); });
    if (anyFix)
        m_map->fitTo(m_layer.bounds());
}

void FlightMapWindowController::updateSummary()
{
    const QList<Flight*> flights = shownFlights();
    if (flights.isEmpty()) {
        m_summary->setText(m_followed ? tr("Select flights in the logbook to see them here")
                                      : tr("Open a logbook to see its flights here"));
        return;
    }
    if (flights.size() > 1) {
        m_summary->setText(tr("%1 flights").arg(flights.size()));
        return;
    }
    const Flight& flight = *flights.first();
    QStringList parts;
    if (!flight.startLocation().isEmpty())
        parts << flight.startLocation();
    if (flight.startLocal().isValid())
        parts << QLocale().toString(flight.startLocal().date(), QLocale::ShortFormat);
    if (flight.flightTime() > 0)
        parts << tr("Flight time %1").arg(flight.flightTimeString());
    const map::FlightTrack& track = m_layer.tracks().front();
    if (track.figure)
        parts << map::figureLabel(*track.figure);
    if (track.fixes.empty())
        parts << tr("no track recorded");
    m_summary->setText(parts.join(QStringLiteral("  ·  ")));
}

void FlightMapWindowController::mapHovered(std::optional<QPointF> position)
{
    // Leaving the map keeps the cursor where it was; only a new point moves it.
    if (!position)
        return;
    const std::optional<std::size_t> fix = m_layer.nearestFix(*position, m_map->viewport(), 14);
    if (!fix || fix == m_layer.cursor())
        return;
    m_layer.setCursor(fix);
    m_profile->setCursor(fix);
    m_map->update();
}

void FlightMapWindowController::profileCursorMoved(std::optional<std::size_t> fix)
{
    m_layer.setCursor(fix);
    if (fix) {
        // The place follows the profile even where the map was moved away from it.
        const QPointF at = m_layer.fixOnScreen(0, *fix, m_map->viewport());
        if (!QRectF(m_map->rect()).adjusted(20, 20, -20, -20).contains(at))
            m_map->centerOn(m_layer.tracks().front().fixes[*fix].position);
    }
    m_map->update();
}

void FlightMapWindowController::colouringChosen()
{
    m_layer.setColouring(map::TrackColouring(m_colouring->currentData().toInt()));
    QSettings().setValue(objectName() + QLatin1Char('/') + kColouringKey, m_colouring->currentData());
    m_map->update();
}

void FlightMapWindowController::sourceChosen()
{
    showChosenTileSource(m_sources, m_map);
}

} // namespace kalvora
