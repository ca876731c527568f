#include "ui/settingswindowcontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "instruments/devices.h"
#include "model/settings.h"
#include "services/settingsservice.h"
#include "store/notificationcenter.h"

namespace kalvora {

namespace {

/** The preference the automatic update check reads at start. */
const QString kNoAutoUpdateKey = QStringLiteral("NoAutoUpdate");

enum Quantity { Altitude, Speed, Vario, Distance };

struct UnitRow
{
    const char* objectName;
    const char* label;
    QStringList entries;
};

QList<UnitRow> unitRows()
{
    return {
        {"altitudeUnit", QT_TRANSLATE_NOOP("SettingsWindowController", "Altitude:"),
         {SettingsWindowController::tr("Metres (m)"), SettingsWindowController::tr("Feet (ft)")}},
        {"speedUnit", QT_TRANSLATE_NOOP("SettingsWindowController", "Speed:"),
         {SettingsWindowController::tr("Kilometres per hour (km/h)"), SettingsWindowController::tr("Miles per hour (mph)"),
          SettingsWindowController::tr("Knots (kn)")}},
        {"varioUnit", QT_TRANSLATE_NOOP("SettingsWindowController", "Climb rate:"),
         {SettingsWindowController::tr("Metres per second (m/s)"), SettingsWindowController::tr("Feet per minute (fpm)")}},
        {"distanceUnit", QT_TRANSLATE_NOOP("SettingsWindowController", "Distance:"),
         {SettingsWindowController::tr("Kilometres (km)"), SettingsWindowController::tr("Miles (mil)")}},
    };
}

class SettingsDialogs final : public SettingsInteraction
{
public:
    void chooseTemplate(QWidget* window, std::function<void(std::optional<QString>)> reply) override
    {
        auto* dialog = new QFileDialog(window, SettingsWindowController::tr("Choose Template"));
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setNameFilter(SettingsWindowController::tr("HTML templates (*.htm *.html *.HTM *.HTML)"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, reply = std::move(reply)](int result) {
            if (result != QDialog::Accepted)
                return reply(std::nullopt);
            const QStringList files = dialog->selectedFiles();
            reply(files.isEmpty() ? QString() : files.first());
        });
        dialog->open();
    }

    void askInstallRule(QWidget* window, const QString& command, std::function<void(bool)> reply) override
    {
        auto* box = new QMessageBox(QMessageBox::Question, QApplication::applicationName(),
                                    SettingsWindowController::tr("Install the udev rule for flight instruments?"),
                                    QMessageBox::NoButton, window);
        box->setInformativeText(
            SettingsWindowController::tr("The rule is copied to /etc/udev/rules.d with administrator rights; you "
                                         "will be asked for your password. Then unplug the instrument and plug it "
                                         "in again."));
        box->setDetailedText(command);
        QPushButton* install = box->addButton(SettingsWindowController::tr("Install"), QMessageBox::AcceptRole);
        box->addButton(SettingsWindowController::tr("Cancel"), QMessageBox::RejectRole);
        box->setDefaultButton(install);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QObject::connect(box, &QMessageBox::finished, box,
                         [box, install, reply = std::move(reply)](int) { reply(box->clickedButton() == install); });
        box->open();
    }

    void runPrivileged(const QStringList& command, std::function<void(const QString&)> reply) override
    {
        auto* process = new QProcess;
        process->setProgram(command.first());
        process->setArguments(command.mid(1));
        process->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(process, &QProcess::errorOccurred, process, [process, reply](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            reply(SettingsWindowController::tr("%1 could not be started: %2")
                      .arg(process->program(), process->errorString()));
            process->deleteLater();
        });
        QObject::connect(process, &QProcess::finished, process,
                         [process, reply](int exitCode, QProcess::ExitStatus status) {
                             const QString output = QString::fromLocal8Bit(process->readAll()).trimmed();
                             if (status == QProcess::NormalExit && exitCode == 0)
                                 reply(QString());
                             // pkexec answers 126 when the user dismissed the authentication.
                             else if (exitCode == 126)
                                 reply(SettingsWindowController::tr("The authentication was cancelled."));
                             else
                                 reply(output.isEmpty() ? SettingsWindowController::tr("Exit code %1.").arg(exitCode)
                                                        : output);
                             process->deleteLater();
                         });
        process->start();
    }

    void showAlert(QWidget* window, const QString& message, const QString& informative) override
    {
        auto* box = new QMessageBox(QMessageBox::Warning, QApplication::applicationName(), message, QMessageBox::Ok,
                                    window);
        box->setObjectName(QStringLiteral("alert"));
        box->setInformativeText(informative);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
    }
};

} // namespace

std::shared_ptr<SettingsInteraction> makeSettingsDialogs()
{
    return std::make_shared<SettingsDialogs>();
}

SettingsWindowController::SettingsWindowController(Settings* settings, std::shared_ptr<SettingsInteraction> interaction,
                                                   QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_settings(settings),
      m_interaction(interaction ? std::move(interaction) : makeSettingsDialogs()),
      m_ports([] {
          QStringList paths;
          for (const std::string& path : serialCandidatePaths())
              paths << QString::fromStdString(path);
          return paths;
      }),
      m_ruleFolders(udevRuleFolders())
{
    setObjectName(QStringLiteral("Settings"));
    setWindowTitle(tr("Preferences"));
    buildLayout();
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::buildLayout()
{
    auto* layout = new QVBoxLayout(this);

    auto* units = new QGroupBox(tr("Units"), this);
    auto* unitForm = new QFormLayout(units);
    const QList<UnitRow> rows = unitRows();
    for (int quantity = 0; quantity < rows.size(); ++quantity) {
        auto* combo = new QComboBox(units);
        combo->setObjectName(QString::fromLatin1(rows[quantity].objectName));
        combo->addItems(rows[quantity].entries);
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this, quantity](int index) { unitChosen(quantity, index); });
        unitForm->addRow(tr(rows[quantity].label), combo);
        m_units[quantity] = combo;
    }
    m_xcPoints = new QComboBox(units);
    m_xcPoints->setObjectName(QStringLiteral("xcPointsType"));
    m_xcPoints->addItem(tr("Free ×1.0, flat triangle ×1.2, FAI triangle ×1.4"));
    m_xcPoints->addItem(tr("Free ×1.5, flat triangle ×1.75, FAI triangle ×2.0"));
    connect(m_xcPoints, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_filling || !m_settings || index < 0)
            return;
        // The record announces the change; the logbook windows score their flights anew.
        m_settings->setXcPointsType(index);
        save();
    });
    unitForm->addRow(tr("XC points:"), m_xcPoints);
    layout->addWidget(units);

    auto* printing = new QGroupBox(tr("Printing"), this);
    auto* printRow = new QHBoxLayout(printing);
    m_template = new QComboBox(printing);
    m_template->setObjectName(QStringLiteral("printTemplate"));
    m_template->addItems({tr("Built-in template"), tr("My own template")});
    connect(m_template, &QComboBox::currentIndexChanged, this, &SettingsWindowController::templateRowChosen);
    m_templateButton = new QPushButton(printing);
    m_templateButton->setObjectName(QStringLiteral("templateButton"));
    m_templateButton->setToolTip(tr("Choose the HTML file the logbook pages are printed with"));
    connect(m_templateButton, &QPushButton::clicked, this, &SettingsWindowController::chooseTemplate);
    printRow->addWidget(new QLabel(tr("Print with:"), printing));
    printRow->addWidget(m_template);
    printRow->addWidget(m_templateButton, 1);
    layout->addWidget(printing);

    auto* updates = new QGroupBox(tr("Updates"), this);
    updates->setObjectName(QStringLiteral("updates"));
    auto* updateRow = new QHBoxLayout(updates);
    m_autoUpdate = new QCheckBox(tr("Check for a new version at start"), updates);
    m_autoUpdate->setObjectName(QStringLiteral("autoUpdate"));
    connect(m_autoUpdate, &QCheckBox::toggled, this, [this](bool ticked) {
        if (m_filling)
            return;
        QSettings settings;
        settings.setValue(kNoAutoUpdateKey, !ticked);
        settings.sync();
    });
    m_checkNow = new QPushButton(tr("Check Now"), updates);
    m_checkNow->setObjectName(QStringLiteral("checkNow"));
    connect(m_checkNow, &QPushButton::clicked, this, [this] {
        if (m_updateCheck)
            m_updateCheck(this);
        // The offer alert may have ticked "do not ask again".
        const QSignalBlocker quiet(m_autoUpdate);
        m_autoUpdate->setChecked(!QSettings().value(kNoAutoUpdateKey, false).toBool());
    });
    updateRow->addWidget(m_autoUpdate, 1);
    updateRow->addWidget(m_checkNow);
    updates->hide();
    layout->addWidget(updates);

    auto* serial = new QGroupBox(tr("Serial access"), this);
    auto* serialLayout = new QVBoxLayout(serial);
    m_accessSummary = new QLabel(serial);
    m_accessSummary->setObjectName(QStringLiteral("accessSummary"));
    m_accessSummary->setWordWrap(true);
    m_accessPorts = new QListWidget(serial);
    m_accessPorts->setObjectName(QStringLiteral("accessPorts"));
    m_accessPorts->setWordWrap(true);
    m_accessPorts->setMaximumHeight(110);
    auto* serialButtons = new QHBoxLayout;
    auto* checkAgain = new QPushButton(tr("Check Again"), serial);
    checkAgain->setObjectName(QStringLiteral("checkSerialAccess"));
    connect(checkAgain, &QPushButton::clicked, this, &SettingsWindowController::checkSerialAccess);
    m_installRule = new QPushButton(tr("Install udev Rule…"), serial);
    m_installRule->setObjectName(QStringLiteral("installUdevRule"));
    connect(m_installRule, &QPushButton::clicked, this, &SettingsWindowController::installRule);
    serialButtons->addStretch(1);
    serialButtons->addWidget(m_installRule);
    serialButtons->addWidget(checkAgain);
    serialLayout->addWidget(m_accessSummary);
    serialLayout->addWidget(m_accessPorts);
    serialLayout->addLayout(serialButtons);
    layout->addWidget(serial);
    // A wrapped label asks for the height it needs at its narrowest; give it the window's width.
    m_accessSummary->setMinimumWidth(480);
    // The port list and the rule button come and go with each check: the window follows what it shows.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void SettingsWindowController::setSerialPortSource(std::function<QStringList()> ports, QStringList ruleFolders,
                                                   SerialAccessProbe probe)
{
    m_probe = std::move(probe);
    m_ports = std::move(ports);
    m_ruleFolders = std::move(ruleFolders);
}

void SettingsWindowController::setUpdateCheck(std::function<void(QWidget*)> checkNow)
{
    m_updateCheck = std::move(checkNow);
    if (auto* updates = findChild<QGroupBox*>(QStringLiteral("updates")))
        updates->setVisible(bool(m_updateCheck));
}

void SettingsWindowController::showWindow()
{
    reload();
    show();
    raise();
    activateWindow();
}

void SettingsWindowController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    checkSerialAccess();
}

void SettingsWindowController::reload()
{
    m_filling = true;
    const bool haveRecord = m_settings != nullptr;
    for (QComboBox* combo : m_units)
        combo->setEnabled(haveRecord);
    m_xcPoints->setEnabled(haveRecord);
    m_template->setEnabled(haveRecord);
    m_templateButton->setEnabled(haveRecord);
    if (haveRecord) {
        const qint64 indexes[] = {m_settings->altitudeUnitIndex(), m_settings->speedUnitIndex(),
                               m_settings->varioUnitIndex(), m_settings->distanceUnitIndex()};
        for (int quantity = 0; quantity < 4; ++quantity)
            m_units[quantity]->setCurrentIndex(indexes[quantity] >= 0 && indexes[quantity] < m_units[quantity]->count()
                                                   ? int(indexes[quantity])
                                                   : 0);
        m_xcPoints->setCurrentIndex(m_settings->xcPointsType() == 0 ? 0 : 1);
        m_template->setCurrentIndex(m_settings->printTemplateUserDefined() ? 1 : 0);
    }
    m_autoUpdate->setChecked(!QSettings().value(kNoAutoUpdateKey, false).toBool());
    refreshTemplateButton();
    m_filling = false;
}

void SettingsWindowController::unitChosen(int quantity, int index)
{
    if (m_filling || !m_settings || index < 0)
        return;
    switch (quantity) {
    case Altitude: m_settings->chooseAltitudeUnit(index); break;
    case Speed: m_settings->chooseSpeedUnit(index); break;
    case Vario: m_settings->chooseVarioUnit(index); break;
    case Distance: m_settings->chooseDistanceUnit(index); break;
    default: return;
    }
    save();
    // Open windows redraw now rather than whenever they next happen to draw.
    NotificationCenter::instance().post(QString::fromLatin1(notifications::SettingsUnitTypeChanged));
}

void SettingsWindowController::templateRowChosen(int row)
{
    if (m_filling || !m_settings || row < 0)
        return;
    m_settings->setPrintTemplateUserDefined(row != 0);
    save();
    refreshTemplateButton();
    if (row != 0 && m_settings->printTemplateBookmark().isEmpty())
        chooseTemplate();
}

void SettingsWindowController::chooseTemplate()
{
    if (!m_settings)
        return;
    QPointer<SettingsWindowController> self(this);
    m_interaction->chooseTemplate(this, [self](std::optional<QString> path) {
        if (!self || !self->m_settings)
            return;
        Settings* settings = self->m_settings;
        if (!path) {
            // Cancelled: an own template without a file would print with the built-in one
            // while the window said otherwise.
            if (settings->printTemplateBookmark().isEmpty() && settings->printTemplateUserDefined())
                settings->setPrintTemplateUserDefined(false);
        } else if (path->isEmpty()) {
            settings->setPrintTemplateUserDefined(false);
        } else {
            settings->setPrintTemplateBookmark(QFileInfo(*path).absoluteFilePath().toUtf8());
            settings->setPrintTemplateUserDefined(true);
        }
        self->save();
        self->reload();
    });
}

void SettingsWindowController::refreshTemplateButton()
{
    QString title = QStringLiteral("...");
    if (m_settings && m_settings->printTemplateUserDefined() && !m_settings->printTemplateBookmark().isEmpty()) {
        const QString path = QString::fromUtf8(m_settings->printTemplateBookmark());
        title = QFileInfo(path).fileName();
        m_templateButton->setToolTip(path);
        if (!QFileInfo::exists(path))
            title = tr("%1 (missing)").arg(title);
    }
    m_templateButton->setText(title);
}

void SettingsWindowController::checkSerialAccess()
{
    m_access = kalvora::checkSerialAccess(m_ports ? m_ports() : QStringList(), m_ruleFolders, m_probe);
    m_accessSummary->setText(m_access.summary);
    m_accessPorts->clear();
    for (const SerialPortAccess& port : m_access.ports) {
        auto* item = new QListWidgetItem(port.mayOpen ? tr("%1: may be opened").arg(port.path) : port.advice,
                                         m_accessPorts);
        item->setIcon(style()->standardIcon(port.mayOpen ? QStyle::SP_DialogApplyButton : QStyle::SP_MessageBoxWarning));
    }
    m_accessPorts->setVisible(!m_access.ports.isEmpty());
    m_installRule->setVisible(m_access.offerRuleInstall);
}

void SettingsWindowController::installRule()
{
    const QByteArray rule = shippedUdevRule();
    // The file must outlive this call: pkexec reads it after the password prompt.
    auto file = std::make_shared<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("kalvora-rule-XXXXXX.rules")));
    if (rule.isEmpty() || !file->open() || file->write(rule) != rule.size() || !file->flush()) {
        m_interaction->showAlert(this, tr("The udev rule could not be prepared."), file->errorString());
        return;
    }
    file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                         | QFileDevice::ReadOther);
    const QStringList command = udevRuleInstallCommand(file->fileName());
    QPointer<SettingsWindowController> self(this);
    m_interaction->askInstallRule(this, command.join(QLatin1Char(' ')), [self, command, file](bool agreed) {
        if (!self || !agreed)
            return;
        self->m_interaction->runPrivileged(command, [self, file](const QString& error) {
            if (!self)
                return;
            if (!error.isEmpty())
                self->m_interaction->showAlert(self, tr("The udev rule was not installed."), error);
            self->checkSerialAccess();
        });
    });
}

void SettingsWindowController::save()
{
    if (m_settings)
        saveSettings(*m_settings);
}

} // namespace kalvora
