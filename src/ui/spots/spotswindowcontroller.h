#pragma once

#include <functional>
#include <memory>

#include <QUrl>
#include <QWidget>

#include "services/spots.h"

class QColumnView;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QThreadPool;

namespace kalvora {

/** The file question and the alerts of the spots window (tests answer at once). GUI thread. */
class SpotsInteraction
{
public:
    virtual ~SpotsInteraction() = default;
    /** "Open KML": a KML file, or an empty path when cancelled. */
    virtual void chooseKml(QWidget* window, std::function<void(const QString& path)> reply) = 0;
    virtual void showAlert(QWidget* window, const QString& message, const QString& informative) = 0;
};

[[nodiscard]] std::shared_ptr<SpotsInteraction> makeSpotsDialogs();

/**
 * Browses a list of flying sites read from a KML file: folders and sites in
 * columns, the chosen site's position beside them, and a button that opens the
 * site's page (or a directory of flying sites) in the browser. Files are read on
 * a worker; the tree is shown when it is complete. GUI thread.
 */
class SpotsWindowController final : public QWidget
{
    Q_OBJECT

public:
    /** Where the link button goes when the chosen site names no page of its own. */
    static constexpr const char* DirectoryUrl = "https://www.paraglidingearth.com/";

    explicit SpotsWindowController(std::shared_ptr<SpotsInteraction> interaction = {}, QWidget* parent = nullptr);
    ~SpotsWindowController() override;

    /** Reads PATH in the background and shows it when done (replacing the list shown). */
    void openKml(const QString& path);
    void showWindow();

    /** The browser's tree: one row per entry, folders with children. */
    [[nodiscard]] QStandardItemModel* model() const { return m_model; }
    [[nodiscard]] QColumnView* browser() const { return m_browser; }
    /** The address the link button opens for the current choice. */
    [[nodiscard]] QUrl linkForSelection() const;

signals:
    /** A read is over and its list is shown (or its failure told). */
    void loaded();

private:
    void chooseAndOpen();
    void present(const QString& path, const std::shared_ptr<SpotList>& list);
    void selectionChanged();

    std::shared_ptr<SpotsInteraction> m_interaction;
    std::unique_ptr<QThreadPool> m_worker;
    std::shared_ptr<SpotList> m_list;
    int m_generation = 0;
    QStandardItemModel* m_model = nullptr;
    QColumnView* m_browser = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_details = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_link = nullptr;
};

} // namespace kalvora
