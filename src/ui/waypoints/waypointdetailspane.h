#pragma once

#include <QList>
#include <QPair>
#include <QPointer>
#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace kalvora {

class Waypoint;

/**
 * The fields of one waypoint below the waypoint list: names, group, notice,
 * position, altitude, radius and address, the country with the choices of the
 * country list. An edit is written to the record when the field is left
 * (one assignment, one undo step) and announced through waypointEdited();
 * showing a waypoint writes nothing. GUI thread.
 */
class WaypointDetailsPane final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointDetailsPane)

public:
    explicit WaypointDetailsPane(QWidget* parent);

    /** Shows WAYPOINT's values; nullptr empties and disables the fields. */
    void showWaypoint(Waypoint* waypoint);
    [[nodiscard]] Waypoint* waypoint() const;
    /** While true the fields are being filled from the record, not edited. */
    [[nodiscard]] bool isShowing() const { return m_showing; }
    /** The choices of the country field. */
    void setCountries(const QStringList& countries);
    [[nodiscard]] QComboBox* countryList() const { return m_country; }
    void focusName();

signals:
    void waypointEdited(kalvora::Waypoint* waypoint);

private:
    void applyText(const QString& key, const QString& text);

    QPointer<Waypoint> m_waypoint;
    QList<QPair<QString, QLineEdit*>> m_textFields;
    QComboBox* m_country = nullptr;
    QSpinBox* m_altitude = nullptr;
    QDoubleSpinBox* m_latitude = nullptr;
    QDoubleSpinBox* m_longitude = nullptr;
    QSpinBox* m_radius = nullptr;
    bool m_showing = false;
};

} // namespace kalvora
