#pragma once

#include <functional>
#include <memory>
#include <utility>

#include <QHash>
#include <QMap>
#include <QPointer>
#include <QWidget>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QSlider;
class QStackedWidget;
class QThread;

namespace kalvora {

class GpsDevice;
class WindowInteraction;

/**
 * The settings page of an instrument, hosted by the device window's Settings
 * tab. Filling the controls from the driver never writes back; an edit by the
 * user goes to the instrument off the GUI thread. A write the instrument does not
 * take is alerted and the settings are read again, so the controls never show a
 * value the instrument does not hold. GUI thread.
 *
 * What the views share lives here: the worker that runs instrument exchanges in
 * order, sliders whose moves are written once (the last position, after a drag
 * ends or on the next turn of the event loop), text fields under the
 * instruments' character rules, and choice lists that keep showing a value
 * outside their items.
 */
class DeviceSettingsView : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceSettingsView)

public:
    ~DeviceSettingsView() override;

    /** Fills every control from the settings the driver read last. Writes nothing. */
    virtual void showDeviceSettings() = 0;

    /** Where alerts go; the default shows message boxes over the window. */
    void setInteraction(std::shared_ptr<WindowInteraction> interaction);

    /** True while a re-read after a failed write is running. */
    [[nodiscard]] bool isRereading() const { return m_rereading; }

signals:
    /** A write the instrument did not take; the view alerts and reads the settings again. */
    void settingsWriteFailed(const QString& message);
    /** A re-read after a failed write has ended; on success the controls show its values. */
    void settingsReread(bool success);

protected:
    DeviceSettingsView(GpsDevice& device, QWidget* parent);

    [[nodiscard]] GpsDevice& device() const { return m_device; }
    /**
     * Adds PAGE under TITLE: the pages are chosen from a list at the left
     * ("settingsPages"), which keeps every title whole however many a model has.
     */
    void addPage(QWidget* page, const QString& title);
    /**
     * The form of the page KEY titled TITLE, made on first use. The pages made
     * so are added by addFormPages(), in the order of their keys, so a page
     * shows only when a model has one of its settings.
     */
    QFormLayout* formPage(int key, const QString& title);
    /** Adds the pages formPage() made, by key. */
    void addFormPages();

    /** A slider with its readout at the right, laid out in one row. */
    struct SliderRow
    {
        QWidget* row = nullptr;
        QSlider* slider = nullptr;
        QLabel* readout = nullptr;
    };
    /** A slider named NAME over MINIMUM..MAXIMUM with a readout named NAME + "Value". */
    SliderRow makeSliderRow(const QString& name, int minimum, int maximum);
    /**
     * Shows VALUE in SLIDER, widening MINIMUM..MAXIMUM to take it, and refreshes
     * its readout; a slider the user is dragging keeps its position.
     */
    static void showSliderValue(QSlider* slider, int value, int minimum, int maximum);

    /** True while the controls are being filled: their change signals are no edits. */
    [[nodiscard]] bool isFilling() const { return m_filling; }
    /** Runs FILL with edits switched off. */
    void fillControls(const std::function<void()>& fill);

    /** Runs JOB on the view's worker, after every job queued before. Capture values, not widgets. */
    void runOnWorker(std::function<void()> job);
    /** Runs FN on the GUI thread later (from the worker); dropped once the view is gone. */
    void postToView(std::function<void()> fn);

    /**
     * Writes through WRITE with the slider's last position: at once after a drag
     * ends, otherwise on the next turn of the event loop, so a burst of moves is
     * one write.
     */
    void coalesceSlider(QSlider* slider, std::function<void(int value)> write);
    /**
     * Guards EDIT with the instruments' character rules while typing, and on
     * Return or leaving the field cleans the text (umlauts spelled out, other
     * characters dropped, 16 characters at most) and hands it to COMMIT when it
     * differs from the text last shown from the instrument. The field's tool
     * tip names the characters it takes.
     */
    void guardText(QLineEdit* edit, std::function<void(const QString& text)> commit);
    /** Shows TEXT from the instrument in EDIT (no edit). */
    void showText(QLineEdit* edit, const QString& text);

    /** Selects VALUE in COMBO; a value without an item gets one of its own. */
    static void showChoice(QComboBox* combo, int value);
    /** The value the chosen item stands for. */
    [[nodiscard]] static int chosenValue(const QComboBox* combo);

    /** Alerts WHAT, then reads the settings again on the worker and refills. */
    void reportWriteFailure(const QString& what);

private:
    void writeDueSliders();

    GpsDevice& m_device;
    QPointer<GpsDevice> m_deviceAlive; ///< null once a host dropped the driver before the view
    std::shared_ptr<WindowInteraction> m_interaction;
    QThread* m_thread = nullptr;
    QObject* m_worker = nullptr;
    QWidget* m_body = nullptr;
    QListWidget* m_pageList = nullptr;
    QStackedWidget* m_pages = nullptr;
    QLabel* m_status = nullptr;
    bool m_filling = false;
    bool m_rereading = false;
    bool m_flushQueued = false;
    QMap<int, std::pair<QString, QFormLayout*>> m_formPages;
    QHash<QSlider*, std::function<void(int)>> m_sliderWrites;
    QList<QSlider*> m_dueSliders;
};

/**
 * The settings view for DEVICE's instrument, or nullptr when the driver has none.
 * DEVICE must outlive the view (delete the view before the driver). Place it in
 * the Settings tab; after the driver's settingsRead(device, true) call
 * showDeviceSettings(view).
 */
[[nodiscard]] QWidget* createDeviceSettingsView(GpsDevice& device, QWidget* parent);

/** Fills VIEW (made by createDeviceSettingsView) from its driver; nothing for another widget. */
void showDeviceSettings(QWidget* view);

} // namespace kalvora
