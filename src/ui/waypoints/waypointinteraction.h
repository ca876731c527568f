#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace kalvora {

/**
 * The questions, choosers and alerts of the waypoint window, behind a seam so
 * that tests can answer them. Production shows window-modal boxes with
 * open() and calls REPLY when the user answers (never before returning).
 * GUI thread.
 */
class WaypointInteraction
{
public:
    virtual ~WaypointInteraction() = default;

    /** The open panel "Import WPT file(s)" over PARENT with FILTERS; REPLY gets the files (none: cancelled).
     */
    virtual void chooseImportFiles(QWidget* parent, const QStringList& filters,
                                   std::function<void(const QStringList& paths)> reply) = 0;
    /**
     * The save panel proposing PROPOSEDNAME with FILTERS (one per file type,
     * as waypointExportFilters() gives them); REPLY gets the path, nullopt
     * when cancelled. A path typed without a known extension gets the one of
     * the chosen filter, so the path alone tells the format.
     */
    virtual void chooseExportFile(QWidget* parent, const QString& proposedName, const QStringList& filters,
                                  std::function<void(const std::optional<QString>& path)> reply) = 0;
    /** The sharing alert ("Ok", "Cancel"); REPLY gets true for "Ok". */
    virtual void askShare(QWidget* parent, std::function<void(bool ok)> reply) = 0;
    /** An alert with MESSAGE, INFORMATIVE text and "Ok". */
    virtual void alert(QWidget* parent, const QString& message, const QString& informative) = 0;
    /** Opens URL in the user's web browser. */
    virtual void openUrl(const QUrl& url) = 0;
};

/** The interaction through file dialogs, message boxes and the desktop's URL handler. */
[[nodiscard]] std::unique_ptr<WaypointInteraction> makeWaypointDialogInteraction();

} // namespace kalvora
