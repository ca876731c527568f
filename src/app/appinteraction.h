#pragma once

#include <memory>

#include "app/globalstore.h"

class QWidget;

namespace kalvora {
class PersistentStore;
class WaypointSync;
}

namespace kalvora {

/**
 * The questions and alerts of the application object, behind a seam so that a
 * scripted run can answer them. GUI thread.
 */
class AppInteraction
{
public:
    virtual ~AppInteraction() = default;

    /** Shows an error; true when the user dealt with it (e.g. a recovery option), false otherwise. */
    virtual bool presentError(const PresentableError& error) = 0;
    /** "Could not save changes while quitting. Quit anyway?"; true for "Quit anyway". */
    virtual bool askQuitAnyway() = 0;
    /**
     * A logbook file is damaged: offers to open it read-only (nothing is then written
     * to it). True for "Open Read-Only"; the default answers "Cancel".
     */
    virtual bool askOpenDamagedReadOnly(const PresentableError& error)
    {
        (void)error;
        return false;
    }
};

/** The interaction through message boxes. */
[[nodiscard]] std::unique_ptr<AppInteraction> makeDialogInteraction();

/**
 * The start-up steps of later subsystems, each a seam that does nothing until
 * that subsystem exists: the waypoint upload and download, the update check,
 * the serial-driver check and the IGC signing keys. GUI thread.
 */
class StartupServices
{
public:
    virtual ~StartupServices() = default;

    /** Starts the waypoint upload and then the download in the background, over @p global (may be null). */
    virtual void startWaypointSync(PersistentStore* global) { (void)global; }
    /** Ends background work before the global store goes; waits for a running pass. */
    virtual void stop() {}
    /** The waypoint database client the start-up passes run on; nullptr when there is none. */
    virtual WaypointSync* waypointSync() const { return nullptr; }
    /** Checks the USB-serial drivers (not forced). */
    virtual void checkSerialDrivers() {}
    /** Stores the two key strings of the IGC security record. */
    virtual void storeSecurityKeys() {}
};

} // namespace kalvora
