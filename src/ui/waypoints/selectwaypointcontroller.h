#pragma once

#include <QDialog>
#include <QPointer>

#include "ui/waypoints/waypointservices.h"
#include "waypoints/waypointsort.h"

class QPushButton;
class QTableView;

namespace kalvora {

class ObjectContext;
class Waypoint;
class WaypointAddressFiller;
class WaypointListModel;

/**
 * The waypoint picker "SelectWaypoint": every waypoint of the global store,
 * nearest first from a reference point (a flight's take-off or landing), with
 * its distance from that point. The user chooses one (button or double
 * click), cancels, or creates a new waypoint at the reference point; the
 * picker then stays open and lists it. The caller closes the picker after
 * either outcome. Shown window-modal over its parent. GUI thread.
 */
class SelectWaypointController final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelectWaypointController)

public:
    /**
     * CONTEXT is the global store's main context. The reference point is
     * LATITUDE, LONGITUDE [deg] at ALTITUDE [m]; it also becomes the
     * application's flight reference point (Waypoint::distanceFromFlightWaypoint).
     */
    SelectWaypointController(ObjectContext* context, double latitude, double longitude, double altitude,
                             WaypointServices services = {}, QWidget* parent = nullptr);
    ~SelectWaypointController() override;

    /** Hides the create-new button (callers that only choose). */
    void setHideCreateNewButton(bool hide);
    [[nodiscard]] bool hideCreateNewButton() const { return m_hideCreateNew; }
    /** Free for the caller to tell pickers apart. */
    void setTag(qint64 tag) { m_tag = tag; }
    [[nodiscard]] qint64 tag() const { return m_tag; }

    /** [1e-6 deg] the reference point as kept (not truncated). */
    [[nodiscard]] MicroPoint referencePoint() const { return m_reference; }
    [[nodiscard]] WaypointListModel* model() const { return m_model; }
    [[nodiscard]] QTableView* table() const { return m_table; }
    [[nodiscard]] WaypointAddressFiller* addressFiller() const { return m_addresses; }

    /** The listed waypoints in row order. */
    [[nodiscard]] QList<Waypoint*> listedWaypoints() const;

    /** The choose button: reports the first selected waypoint; nothing without a selection. */
    void choose();
    /** The create-new button; returns the new waypoint (nullptr without a store). */
    Waypoint* createNew();

signals:
    void didSelectWaypoint(kalvora::SelectWaypointController* picker, kalvora::Waypoint* waypoint);
    void didCancel(kalvora::SelectWaypointController* picker);

protected:
    void reject() override;

private:
    void selectRow(int row);

    QPointer<ObjectContext> m_context;
    MicroPoint m_reference;
    double m_altitude = 0;
    WaypointServices m_services;
    WaypointListModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QPushButton* m_createNew = nullptr;
    QPushButton* m_choose = nullptr;
    WaypointAddressFiller* m_addresses = nullptr;
    bool m_hideCreateNew = false;
    qint64 m_tag = 0;
};

} // namespace kalvora
