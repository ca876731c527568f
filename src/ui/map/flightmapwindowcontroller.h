#pragma once

#include <QList>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <optional>

#include "map/flightlayer.h"
#include "map/tileloader.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;

namespace kalvora {

class AltitudeProfile;
class Flight;
class LogBookWindowController;
class MapWidget;

/**
 * The flight map window "FlightMap": the tracks of the flights selected in the
 * front logbook window (up to ten, in the statistics window's colours), one
 * flight coloured by altitude or climb with its take-off, landing and scored
 * figure, and below the map that flight's altitude profile, whose cursor and
 * the map's follow each other. It learns of logbook windows from
 * "KalvoraFlightControllersDidChange" and follows the one last made active.
 * GUI thread.
 */
class FlightMapWindowController final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlightMapWindowController)

public:
    static constexpr int kMaxTracks = 10;

    /** Null TILES take the loader's defaults (the XDG cache folder). */
    explicit FlightMapWindowController(const map::TileLoader::Options& tiles = {}, QWidget* parent = nullptr);
    ~FlightMapWindowController() override;

    /** A logbook window it may follow (those opened before this window existed). */
    void addLogbook(LogBookWindowController* logbook);
    /** Follows LOGBOOK's selection from now on. */
    void followLogbook(LogBookWindowController* logbook);
    [[nodiscard]] LogBookWindowController* followedLogbook() const { return m_followed; }

    /** Shows and raises the window, fitted to the selection. */
    void showWindow();

    /** The flights whose tracks are drawn, in slot order. */
    [[nodiscard]] QList<Flight*> shownFlights() const;
    [[nodiscard]] MapWidget* mapView() const { return m_map; }
    [[nodiscard]] AltitudeProfile* profile() const { return m_profile; }
    [[nodiscard]] const map::FlightLayer& flightLayer() const { return m_layer; }
    [[nodiscard]] QComboBox* colouringList() const { return m_colouring; }
    [[nodiscard]] QComboBox* tileSourceList() const { return m_sources; }
    [[nodiscard]] QPushButton* fitButton() const { return m_fit; }
    [[nodiscard]] QLabel* summary() const { return m_summary; }

    /** Draws the followed logbook's selection again (and fits the view to it when it changed). */
    void selectionDidChange();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void notified(const QString& name, QObject* object, const QVariantMap& userInfo);
    void reload(bool fit);
    void fitToSelection();
    void mapHovered(std::optional<QPointF> position);
    void profileCursorMoved(std::optional<std::size_t> fix);
    void colouringChosen();
    void sourceChosen();
    void updateSummary();
    void restoreLayout();

    QList<QPointer<LogBookWindowController>> m_logbooks;
    QPointer<LogBookWindowController> m_followed;
    QList<QPointer<Flight>> m_shown;
    map::FlightLayer m_layer;
    MapWidget* m_map = nullptr;
    AltitudeProfile* m_profile = nullptr;
    QSplitter* m_splitter = nullptr;
    QComboBox* m_colouring = nullptr;
    QComboBox* m_sources = nullptr;
    QPushButton* m_fit = nullptr;
    QLabel* m_summary = nullptr;
    bool m_reloadQueued = false;
};

} // namespace kalvora
