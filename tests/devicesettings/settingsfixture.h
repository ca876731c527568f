#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QStackedWidget>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "braeunigersim.h"
#include "flytecsim.h"
#include "instruments/braeuniger/braeuniger.h"
#include "instruments/flytec/flytec.h"
#include "instruments/serialport.h"
#include "simcommon/simulator.h"
#include "ui/device/devicesettingsview.h"
#include "ui/scriptedinteraction.h"

namespace kalvora::test {

/** Turns the event loop until DONE or MS have passed; DONE's last answer. */
inline bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

/** Turns the event loop for MS (lets anything queued happen). */
inline void settle(int ms = 150)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

/** A simulator of type SIM on its own pseudo-terminal. */
template <typename Sim> struct SimLine
{
    template <typename... Args>
    explicit SimLine(Args&&... args) : sim(std::make_shared<Sim>(std::forward<Args>(args)...)), runner(sim)
    {
        started = runner.start();
    }
    void fault(sim::Fault f)
    {
        sim::LineOptions o;
        o.fault = f;
        runner.setOptions(o);
    }
    std::shared_ptr<Sim> sim;
    sim::SimulatorRunner runner;
    bool started = false;
};

/** The driver on LINE with its settings read, and its view shown in a window of its own. */
template <typename Driver, typename Sim> struct ViewOn
{
    explicit ViewOn(SimLine<Sim>& line)
    {
        // Small answers come in one piece from the simulator; 100 ms of silence
        // ends them quickly and still holds on a busy machine.
        std::unique_ptr<GpsDevice> opened = Driver::open(
            line.runner.slavePath(), std::make_unique<SerialPort>(std::chrono::milliseconds(100)));
        driver.reset(static_cast<Driver*>(opened.release()));
        if (!driver || !driver->readSettings())
            return;
        window = std::make_unique<QWidget>();
        widget = createDeviceSettingsView(*driver, window.get());
        view = qobject_cast<DeviceSettingsView*>(widget);
        if (!view)
            return;
        interaction = std::make_shared<ScriptedInteraction>();
        view->setInteraction(interaction);
        showDeviceSettings(widget);
        window->resize(720, 560);
        view->resize(720, 560);
        window->show();
    }
    ~ViewOn()
    {
        window.reset(); // the view before its driver
    }
    /** Lets the view's queued writes go out and waits until the instrument has taken them. */
    void flushWrites(int ms = 150)
    {
        settle(ms);
        driver->waitForWrites();
    }
    template <typename W> W* control(const char* name) const
    {
        return widget->findChild<W*>(QString::fromLatin1(name));
    }

    std::unique_ptr<Driver> driver;
    std::unique_ptr<QWidget> window;
    QWidget* widget = nullptr;
    DeviceSettingsView* view = nullptr;
    std::shared_ptr<ScriptedInteraction> interaction;
};

/** Brings the page holding CONTROL to the front, as a click in the page list does. */
inline void showPageOf(QWidget* control)
{
    for (QWidget* w = control; w && w->parentWidget(); w = w->parentWidget()) {
        auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
        if (!stack || stack->objectName() != QLatin1String("settingsPageStack"))
            continue;
        auto* list = stack->parentWidget()->findChild<QListWidget*>(QStringLiteral("settingsPages"));
        const int row = stack->indexOf(w);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
        settle(30); // the page lays itself out
        return;
    }
}

/** Shows EDIT's page and empties EDIT with the keyboard, as a user about to retype it does. */
inline void emptyField(QLineEdit* edit)
{
    showPageOf(edit);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
}

/** Types TEXT into WIDGET key by key, letters outside ASCII included. */
inline void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

/** Chooses the item ITEMTEXT of COMBO as a user does: opens its list and clicks the item. */
inline void chooseItem(QComboBox* combo, const QString& itemText)
{
    showPageOf(combo);
    const int target = combo->findText(itemText);
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    const QModelIndex index = list->model()->index(target, combo->modelColumn(), list->rootIndex());
    list->scrollTo(index);
    settle(30);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    settle(30);
}

/** Clicks BOX on its indicator (its middle may lie beyond its text). */
inline void clickCheckBox(QAbstractButton* box)
{
    showPageOf(box);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

/** The value the chosen item of COMBO stands for. */
inline int chosenValueOf(const QComboBox* combo)
{
    return combo->currentData().toInt();
}

/** The centre of SLIDER's handle, in slider coordinates. */
inline QPoint handleCentre(QSlider* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.subControls = QStyle::SC_SliderHandle;
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

/** Drags SLIDER's handle by STEPS moves of DX pixels each, then lets go. */
inline void dragSlider(QSlider* slider, int steps, int dx)
{
    showPageOf(slider);
    QPoint at = handleCentre(slider);
    QTest::mousePress(slider, Qt::LeftButton, {}, at);
    for (int i = 0; i < steps; ++i) {
        at.rx() += dx;
        QMouseEvent move(QEvent::MouseMove, at, slider->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(slider, &move);
        settle(20); // the event loop turns during a drag
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, at);
}

} // namespace kalvora::test
