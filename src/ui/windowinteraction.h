#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QStringList>

class QWidget;

namespace kalvora {

/** A file the user asked for: title, name filters, and whether it is to be written. */
struct FileRequest
{
    QString title;
    QString nameFilter;
    bool save = false;
};

/** One file that could not be imported and why, for the collected alert. */
struct FileFailure
{
    QString path;
    QString reason;
};

/**
 * The questions and alerts of the logbook, pilot and equipment windows, behind a
 * seam: production shows window-modal boxes over @p window and answers later
 * through the callback; tests answer at once. GUI thread.
 */
class WindowInteraction
{
public:
    virtual ~WindowInteraction() = default;

    /** "Delete the selected flight(s)?"; true to delete. */
    virtual void askDeleteFlights(QWidget* window, int count, std::function<void(bool confirmed)> reply) = 0;
    /** "Delete the selected equipment?"; true to delete. */
    virtual void askDeleteEquipment(QWidget* window, int count, std::function<void(bool confirmed)> reply) = 0;
    /** The warning before flights lose their IGC validity; true for "Ok". */
    virtual void askInvalidateIGC(QWidget* window, std::function<void(bool confirmed)> reply) = 0;
    /** Whether to recompute @p count flights from their IGC records, replacing values set by hand. */
    virtual void askRecalculate(QWidget* window, int count, std::function<void(bool go)> reply) = 0;
    /** One alert; not waited for. */
    virtual void showAlert(QWidget* window, const QString& message, const QString& informative) = 0;
    /** The file chooser; nothing chosen gives an empty path, and no reply may also mean cancelled. */
    virtual void chooseFile(QWidget* window, const FileRequest& request, std::function<void(const QString& path)> reply) = 0;
};

/** The interaction through window-modal message boxes and file dialogs. */
[[nodiscard]] std::shared_ptr<WindowInteraction> makeSheetInteraction();

/** "Flight.igc: reason" lines, one per file, for the collected import alert. */
[[nodiscard]] QString describeFailures(const QList<FileFailure>& failures);

} // namespace kalvora
