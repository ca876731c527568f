#pragma once

#include <QMainWindow>
#include <QPointer>

#include "ui/waypoints/instrumentsend.h"

class QLabel;
class QPushButton;
class QSplitter;
class QTableView;
class QVBoxLayout;

namespace kalvora {

class ObjectContext;
class Route;
class RouteEntryModel;
class RouteListModel;

/**
 * The route window "Route": the routes of the global store with name, type
 * and distance, and the selected route's points in order, editable in place.
 * A route is scored once when it is shown and again when one of its points
 * moves; drawing the lists never scores. The application creates it once and
 * shows it again afterwards. GUI thread.
 */
class RouteWindowController final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RouteWindowController)

public:
    /** CONTEXT is the global store's main context. */
    explicit RouteWindowController(ObjectContext* context, QWidget* parent = nullptr);
    ~RouteWindowController() override;

    /**
     * Offers "Send to Instrument" for the selected route through SEND (the device
     * window); without this call the window has no such button.
     */
    void setInstrumentSend(InstrumentSend send);
    [[nodiscard]] QPushButton* sendButton() const { return m_sendButton; }

    /** Shows ROUTE's points (and scores it); nullptr shows none. */
    void selectRoute(Route* route);
    [[nodiscard]] Route* selectedRoute() const;

    [[nodiscard]] RouteListModel* routeModel() const { return m_routes; }
    [[nodiscard]] RouteEntryModel* entryModel() const { return m_entries; }
    [[nodiscard]] QTableView* routeTable() const { return m_routeTable; }
    [[nodiscard]] QTableView* entryTable() const { return m_entryTable; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void routeSelectionChanged();
    void restoreLayout();

    QPointer<ObjectContext> m_context;
    RouteListModel* m_routes = nullptr;
    RouteEntryModel* m_entries = nullptr;
    QTableView* m_routeTable = nullptr;
    QTableView* m_entryTable = nullptr;
    QLabel* m_entryTitle = nullptr;
    QSplitter* m_splitter = nullptr;
    InstrumentSend m_send;
    QPushButton* m_sendButton = nullptr;
    QLabel* m_sendStatus = nullptr;
    QVBoxLayout* m_lowerLayout = nullptr;
    void updateSendButton();
    void sendSelectedRoute();
};

} // namespace kalvora
