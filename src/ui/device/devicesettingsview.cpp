#include "ui/device/devicesettingsview.h"

#include <algorithm>

#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLabel>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QStackedWidget>
#include <QThread>
#include <QVBoxLayout>

#include "instruments/braeuniger/braeuniger.h"
#include "instruments/flytec/flytec.h"
#include "instruments/flytectextformatter.h"
#include "instruments/gpsdevice.h"
#include "ui/device/braeunigersettingsview.h"
#include "ui/device/flytecparameterview.h"
#include "ui/windowinteraction.h"

namespace kalvora {

namespace {

/** Marks the item a choice list got for a value outside its items. */
constexpr int kExtraItemRole = Qt::UserRole + 1;

const char* const kAcceptedText = "kalvoraAcceptedText";
const char* const kInstrumentText = "kalvoraInstrumentText";

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

} // namespace

DeviceSettingsView::DeviceSettingsView(GpsDevice& device, QWidget* parent)
    : QWidget(parent), m_device(device), m_deviceAlive(&device), m_interaction(makeSheetInteraction())
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("settingsBody"));
    auto* body = new QHBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    m_pageList = new QListWidget(m_body);
    m_pageList->setObjectName(QStringLiteral("settingsPages"));
    m_pageList->setAccessibleName(tr("Settings pages"));
    m_pageList->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_pageList->setSpacing(2);
    m_pages = new QStackedWidget(m_body);
    m_pages->setObjectName(QStringLiteral("settingsPageStack"));
    body->addWidget(m_pageList);
    body->addWidget(m_pages, 1);
    connect(m_pageList, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);
    outer->addWidget(m_body, 1);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("settingsStatus"));
    m_status->setWordWrap(true);
    m_status->hide();
    outer->addWidget(m_status);

    // One thread for every exchange of this view, so writes reach the
    // instrument in the order the user made them.
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("DeviceSettingsWorker"));
    m_worker = new QObject;
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

DeviceSettingsView::~DeviceSettingsView()
{
    // Let the queued writes reach the instrument rather than drop a change the
    // user has made; each is a few short commands. A re-read is long and its
    // result has nobody to go to: it stops at its next command.
    if (m_rereading && m_deviceAlive)
        m_device.cancelAction();
    QThread* thread = m_thread;
    QMetaObject::invokeMethod(
        m_worker, [thread] { thread->quit(); }, Qt::QueuedConnection);
    m_thread->wait();
    delete m_worker;
    delete m_thread;
}

void DeviceSettingsView::setInteraction(std::shared_ptr<WindowInteraction> interaction)
{
    m_interaction = std::move(interaction);
}

void DeviceSettingsView::addPage(QWidget* page, const QString& title)
{
    m_pages->addWidget(page);
    m_pageList->addItem(title);
    int widest = 0;
    for (int i = 0; i < m_pageList->count(); ++i)
        widest = std::max(widest, m_pageList->fontMetrics().horizontalAdvance(m_pageList->item(i)->text()));
    m_pageList->setFixedWidth(widest + m_pageList->frameWidth() * 2 +
                              m_pageList->fontMetrics().averageCharWidth() * 4);
    if (m_pageList->currentRow() < 0)
        m_pageList->setCurrentRow(0);
}

void DeviceSettingsView::fillControls(const std::function<void()>& fill)
{
    const bool wasFilling = m_filling;
    m_filling = true;
    fill();
    m_filling = wasFilling;
}

void DeviceSettingsView::runOnWorker(std::function<void()> job)
{
    QMetaObject::invokeMethod(m_worker, std::move(job), Qt::QueuedConnection);
}

QFormLayout* DeviceSettingsView::formPage(int key, const QString& title)
{
    if (const auto it = m_formPages.constFind(key); it != m_formPages.constEnd())
        return it->second;
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("page") + title);
    auto* form = new QFormLayout(page);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_formPages.insert(key, {title, form});
    return form;
}

void DeviceSettingsView::addFormPages()
{
    for (const auto& [title, form] : std::as_const(m_formPages))
        addPage(form->parentWidget(), title);
}

DeviceSettingsView::SliderRow DeviceSettingsView::makeSliderRow(const QString& name, int minimum, int maximum)
{
    SliderRow made;
    made.row = new QWidget(this);
    auto* line = new QHBoxLayout(made.row);
    line->setContentsMargins(0, 0, 0, 0);
    made.slider = new QSlider(Qt::Horizontal, made.row);
    made.slider->setObjectName(name);
    made.slider->setRange(minimum, maximum);
    made.slider->setPageStep(std::max(1, (maximum - minimum) / 10));
    made.slider->setMinimumWidth(160);
    made.readout = new QLabel(made.row);
    made.readout->setObjectName(name + QStringLiteral("Value"));
    made.readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // One width for every readout, so the sliders of a page line up.
    made.readout->setMinimumWidth(
        QFontMetrics(made.readout->font()).horizontalAdvance(QStringLiteral("-00000.00 km/h")));
    line->addWidget(made.slider, 1);
    line->addWidget(made.readout);
    return made;
}

void DeviceSettingsView::showSliderValue(QSlider* slider, int value, int minimum, int maximum)
{
    if (slider->isSliderDown())
        return; // the user's drag wins over what was read
    slider->setRange(std::min(value, minimum), std::max(value, maximum));
    slider->setValue(value);
    emit slider->valueChanged(value); // the readout also when the value did not move
}

void DeviceSettingsView::postToView(std::function<void()> fn)
{
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void DeviceSettingsView::coalesceSlider(QSlider* slider, std::function<void(int)> write)
{
    m_sliderWrites.insert(slider, std::move(write));
    const auto schedule = [this] {
        if (m_flushQueued)
            return;
        m_flushQueued = true;
        QMetaObject::invokeMethod(this, &DeviceSettingsView::writeDueSliders, Qt::QueuedConnection);
    };
    connect(slider, &QSlider::valueChanged, this, [this, slider, schedule] {
        if (m_filling)
            return;
        if (!m_dueSliders.contains(slider))
            m_dueSliders.append(slider);
        // During a drag only the position where it ends is written.
        if (!slider->isSliderDown())
            schedule();
    });
    connect(slider, &QSlider::sliderReleased, this, schedule);
}

void DeviceSettingsView::writeDueSliders()
{
    m_flushQueued = false;
    const QList<QSlider*> due = m_dueSliders;
    for (QSlider* slider : due) {
        if (slider->isSliderDown())
            continue;
        m_dueSliders.removeAll(slider);
        const auto it = m_sliderWrites.constFind(slider);
        if (it != m_sliderWrites.constEnd())
            (*it)(slider->value());
    }
}

void DeviceSettingsView::guardText(QLineEdit* edit, std::function<void(const QString&)> commit)
{
    edit->setToolTip(tr("Up to 16 letters, digits, spaces and & ( ) + - . / : < = > _"));
    edit->setProperty(kAcceptedText, edit->text());
    connect(edit, &QLineEdit::textEdited, this, [edit](const QString& now) {
        const QString before = edit->property(kAcceptedText).toString();
        if (isAcceptableInstrumentEdit(utf8(before), utf8(now))) {
            edit->setProperty(kAcceptedText, now);
            return;
        }
        const int cursor = edit->cursorPosition() - int(now.size() - before.size());
        edit->setText(before);
        edit->setCursorPosition(std::clamp(cursor, 0, int(before.size())));
    });
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, commit = std::move(commit)] {
        if (m_filling)
            return;
        const QString cleaned =
            QString::fromStdString(removeForbiddenChars(utf8(edit->text())).substr(0, 16)).trimmed();
        if (cleaned != edit->text())
            edit->setText(cleaned);
        edit->setProperty(kAcceptedText, cleaned);
        if (cleaned == edit->property(kInstrumentText).toString())
            return;
        edit->setProperty(kInstrumentText, cleaned);
        commit(cleaned);
    });
}

void DeviceSettingsView::showText(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
    edit->setProperty(kAcceptedText, text);
    edit->setProperty(kInstrumentText, text);
}

void DeviceSettingsView::showChoice(QComboBox* combo, int value)
{
    for (int i = combo->count() - 1; i >= 0; --i)
        if (combo->itemData(i, kExtraItemRole).toBool())
            combo->removeItem(i);
    int index = combo->findData(value);
    if (index < 0) {
        // Keep what the instrument holds visible instead of showing another item.
        combo->addItem(tr("Value %1").arg(value), value);
        index = combo->count() - 1;
        combo->setItemData(index, true, kExtraItemRole);
    }
    combo->setCurrentIndex(index);
}

int DeviceSettingsView::chosenValue(const QComboBox* combo)
{
    return combo->currentData().toInt();
}

void DeviceSettingsView::reportWriteFailure(const QString& what)
{
    emit settingsWriteFailed(what);
    if (m_rereading)
        return; // one alert for a burst of failed writes
    if (m_interaction)
        m_interaction->showAlert(window(), tr("The setting could not be written to the instrument."),
                                 what + QLatin1Char('\n') +
                                     tr("The settings are read from the instrument again."));
    m_rereading = true;
    m_body->setEnabled(false);
    m_status->setText(tr("Reading settings..."));
    m_status->show();
    GpsDevice* device = &m_device;
    runOnWorker([this, device] {
        (void)device->name(); // clears a cancel left over from an earlier operation
        const bool ok = device->readSettings();
        postToView([this, ok] {
            m_rereading = false;
            if (ok) {
                showDeviceSettings();
                m_body->setEnabled(true);
                m_status->hide();
            } else {
                m_status->setText(tr("The settings could not be read from the instrument."));
            }
            emit settingsReread(ok);
        });
    });
}

QWidget* createDeviceSettingsView(GpsDevice& device, QWidget* parent)
{
    if (!device.has(DeviceOperation::GetSettings) || !device.has(DeviceOperation::SettingsController))
        return nullptr;
    if (auto* braeuniger = qobject_cast<Braeuniger*>(&device))
        return new BraeunigerSettingsView(*braeuniger, parent);
    if (auto* flytec = qobject_cast<Flytec*>(&device))
        return new FlytecParameterView(*flytec, parent);
    return nullptr;
}

void showDeviceSettings(QWidget* view)
{
    if (auto* settings = qobject_cast<DeviceSettingsView*>(view))
        settings->showDeviceSettings();
}

} // namespace kalvora
