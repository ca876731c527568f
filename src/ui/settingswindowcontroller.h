#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "ui/serialaccess.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace kalvora {

class Settings;

/**
 * The questions of the settings window, behind a seam: production shows
 * window-modal dialogs and runs pkexec; tests answer at once and record the
 * privileged command instead of running it. GUI thread.
 */
class SettingsInteraction
{
public:
    virtual ~SettingsInteraction() = default;
    /** "Choose Template": an HTML file; nullopt when cancelled, an empty path when confirmed without a file. */
    virtual void chooseTemplate(QWidget* window, std::function<void(std::optional<QString> path)> reply) = 0;
    /** Whether to install the udev rule with administrator rights; COMMAND is shown. */
    virtual void askInstallRule(QWidget* window, const QString& command, std::function<void(bool agreed)> reply) = 0;
    /** Runs COMMAND (program first); REPLY gets an empty text on success, else why it failed. */
    virtual void runPrivileged(const QStringList& command, std::function<void(const QString& error)> reply) = 0;
    virtual void showAlert(QWidget* window, const QString& message, const QString& informative) = 0;
};

/** The dialogs and a pkexec process. */
[[nodiscard]] std::shared_ptr<SettingsInteraction> makeSettingsDialogs();

/**
 * The preferences: the four display units, the XC points system, the print
 * template, the automatic update check and the serial access check. Every
 * control writes the settings record at once and saves it; a unit change is
 * announced so that every open window redraws in the new unit. GUI thread.
 */
class SettingsWindowController final : public QWidget
{
    Q_OBJECT

public:
    /** SETTINGS may be null (no global store): units and template then cannot be chosen. */
    explicit SettingsWindowController(Settings* settings, std::shared_ptr<SettingsInteraction> interaction = {},
                                      QWidget* parent = nullptr);
    ~SettingsWindowController() override;

    /** The candidate ports, rule folders and permission check of the serial access panel (tests use their own). */
    void setSerialPortSource(std::function<QStringList()> ports, QStringList ruleFolders,
                             SerialAccessProbe probe = permissionProbe());
    /** Connects the "Check Now" button; without one the button is not shown. */
    void setUpdateCheck(std::function<void(QWidget* window)> checkNow);

    /** Shows the record's values and runs the serial access check again. */
    void reload();
    void showWindow();

    [[nodiscard]] const SerialAccessReport& serialAccess() const { return m_access; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void unitChosen(int quantity, int index);
    void templateRowChosen(int row);
    void chooseTemplate();
    void refreshTemplateButton();
    void checkSerialAccess();
    void installRule();
    void save();

    QPointer<Settings> m_settings;
    std::shared_ptr<SettingsInteraction> m_interaction;
    std::function<QStringList()> m_ports;
    QStringList m_ruleFolders;
    SerialAccessProbe m_probe = permissionProbe();
    std::function<void(QWidget*)> m_updateCheck;
    SerialAccessReport m_access;
    bool m_filling = false;

    QComboBox* m_units[4] = {};
    QComboBox* m_xcPoints = nullptr;
    QComboBox* m_template = nullptr;
    QPushButton* m_templateButton = nullptr;
    QCheckBox* m_autoUpdate = nullptr;
    QPushButton* m_checkNow = nullptr;
    QLabel* m_accessSummary = nullptr;
    QListWidget* m_accessPorts = nullptr;
    QPushButton* m_installRule = nullptr;
};

} // namespace kalvora
