#pragma once

#include <memory>

#include <QHash>
#include <QPointer>
#include <QWidget>

class QLabel;
class QAction;
class QLineEdit;
class QMenuBar;

namespace kalvora {

class DateField;
class ObjectContext;
class Pilot;
class WindowInteraction;

/**
 * The pilot window "PilotWindowController": edits the logbook's Pilot record.
 * Every edit is written to the record at once (the logbook saves itself).
 * GUI thread.
 */
class PilotWindowController final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PilotWindowController)

public:
    /** @p pilot may be nullptr: the fields then stay empty and disabled. */
    explicit PilotWindowController(Pilot* pilot, ObjectContext* context, QWidget* parent = nullptr);
    ~PilotWindowController() override;

    [[nodiscard]] Pilot* pilot() const;

    /** Where the file chooser goes (a window-modal dialog unless replaced). */
    void setInteraction(std::shared_ptr<WindowInteraction> interaction) { m_interaction = std::move(interaction); }

    /** Asks for a picture and stores it, reduced, as the pilot's photo. */
    void selectPhotoButtonClicked();
    /** Stores the picture in @p path, reduced to the 111 x 111 bound; false when it cannot be loaded. */
    bool setPhotoFromFile(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void loadFromPilot();
    QMenuBar* createMenuBar();
    void showPhoto();

    QPointer<Pilot> m_pilot;
    QPointer<ObjectContext> m_context;
    QHash<QString, QLineEdit*> m_textFields;
    DateField* m_birth = nullptr;
    DateField* m_licenseDate = nullptr;
    QLabel* m_photo = nullptr;
    std::shared_ptr<WindowInteraction> m_interaction;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
};

} // namespace kalvora
