#pragma once

#include <functional>
#include <optional>

#include <QString>

class QPrinter;
class QWidget;

namespace kalvora {

/**
 * The questions and system services of the logbook window's export, print and
 * Google Earth actions. Production shows window-modal dialogs; tests answer
 * with canned replies. GUI thread.
 */
class OutputInteraction
{
public:
    virtual ~OutputInteraction() = default;
    /** "Choose directory to export IGC file(s) to..."; nullopt when cancelled. */
    virtual void chooseExportFolder(QWidget* window, std::function<void(std::optional<QString>)> reply) = 0;
    /** A save dialog for a PDF file proposing SUGGESTED; nullopt when cancelled. */
    virtual void choosePdfFile(QWidget* window, const QString& suggested,
                               std::function<void(std::optional<QString>)> reply) = 0;
    /** An alert with the button "Ok"; DETAILS may be empty. Not waited for. */
    virtual void showAlert(QWidget* window, const QString& message, const QString& informative,
                           const QString& details) = 0;
    /** Shows the print preview, whose print button leads to the print dialog (and its PDF printer). */
    virtual void showPrintPreview(QWidget* window, std::function<void(QPrinter* printer)> paint) = 0;
    /** Opens PATH with the desktop's application for its type. */
    virtual void openFile(const QString& path) = 0;
};

/** The production interaction: window-modal dialogs opened with open(), QDesktopServices. */
class DesktopOutputInteraction final : public OutputInteraction
{
public:
    void chooseExportFolder(QWidget* window, std::function<void(std::optional<QString>)> reply) override;
    void choosePdfFile(QWidget* window, const QString& suggested,
                       std::function<void(std::optional<QString>)> reply) override;
    void showAlert(QWidget* window, const QString& message, const QString& informative,
                   const QString& details) override;
    void showPrintPreview(QWidget* window, std::function<void(QPrinter* printer)> paint) override;
    void openFile(const QString& path) override;
};

} // namespace kalvora
