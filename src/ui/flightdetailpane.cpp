#include "ui/flightdetailpane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimeZone>

#include "contests/submissionrecords.h"
#include "model/contestsubmission.h"
#include "model/flight.h"
#include "model/utcoffsets.h"
#include "ui/flighteditrules.h"
#include "logbook/flightentry.h"
#include "logbook/undogroup.h"
#include "ui/unitdisplay.h"
#include "ui/utcoffsetlist.h"
#include "ui/windowinteraction.h"

namespace kalvora {

namespace {

const QString kLastGliderTypeKey = QStringLiteral("LastFlightGliderType");
/** The value a date or time field holds while it shows no value or "Multiple values". */
const QDateTime kBlankDateTime(QDate(1900, 1, 1), QTime(0, 0), QTimeZone::utc());

QDateTimeEdit* makeTimeEdit(QWidget* parent, const char* name, const QString& format)
{
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(QLatin1String(name));
    // Local times are shifted instants, so every field shows its value in UTC.
    edit->setTimeSpec(Qt::UTC);
    edit->setDisplayFormat(format);
    edit->setMinimumDateTime(kBlankDateTime);
    return edit;
}

QLineEdit* makeLineEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QDateTime utcOf(const QVariant& value)
{
    const QDateTime instant = value.toDateTime();
    return instant.isValid() ? instant.toTimeZone(QTimeZone::utc()) : QDateTime();
}

} // namespace

QString FlightDetailPane::multipleValuesText()
{
    return tr("Multiple values");
}

FlightDetailPane::FlightDetailPane(ObjectContext* context, std::shared_ptr<WindowInteraction> interaction,
                                   QWidget* parent)
    : QGroupBox(tr("Flight"), parent), m_context(context), m_interaction(std::move(interaction))
{
    setObjectName(QStringLiteral("flightDetails"));

    m_date = makeTimeEdit(this, "date", QStringLiteral("yyyy-MM-dd"));
    m_date->setCalendarPopup(true);
    m_startLocal = makeTimeEdit(this, "startLocal", QStringLiteral("HH:mm:ss"));
    m_landingLocal = makeTimeEdit(this, "landingLocal", QStringLiteral("HH:mm:ss"));
    m_startUTC = makeTimeEdit(this, "startUTC", QStringLiteral("HH:mm:ss"));
    m_landingUTC = makeTimeEdit(this, "landingUTC", QStringLiteral("HH:mm:ss"));
    m_utcOffset = new QComboBox(this);
    m_utcOffset->setObjectName(QStringLiteral("utcOffset"));
    // Wide enough for the placeholder of several differing flights, not only for "+5:45".
    m_utcOffset->setMinimumContentsLength(int(multipleValuesText().size()));
    m_utcOffset->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_startLocation = makeLineEdit(this, "startLocation");
    m_landingLocation = makeLineEdit(this, "landingLocation");
    m_startAltitude = makeLineEdit(this, "startAltitude");
    m_landingAltitude = makeLineEdit(this, "landingAltitude");
    m_glider = makeLineEdit(this, "glider");
    m_harness = makeLineEdit(this, "harness");
    m_gliderType = new QComboBox(this);
    m_gliderType->setObjectName(QStringLiteral("gliderType"));
    m_gliderType->addItems(gliderTypeNames());
    m_validIGC = new QCheckBox(tr("&Valid IGC record"), this);
    m_validIGC->setObjectName(QStringLiteral("validIGC"));
    m_validIGC->setToolTip(tr("Set by the security check of the IGC record; it can only be taken away."));
    m_notice = new QPlainTextEdit(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTabChangesFocus(true);
    m_notice->setAccessibleName(tr("Notice"));
    m_notice->installEventFilter(this);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setWordWrap(true);

    auto* times = new QFormLayout;
    times->addRow(tr("&Date:"), m_date);
    times->addRow(tr("&UTC offset:"), m_utcOffset);
    times->addRow(tr("Take-off (local):"), m_startLocal);
    times->addRow(tr("Landing (local):"), m_landingLocal);
    times->addRow(tr("Take-off (UTC):"), m_startUTC);
    times->addRow(tr("Landing (UTC):"), m_landingUTC);
    const auto withChooser = [this](QLineEdit* edit, const char* name, const QString& tip) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(edit, 1);
        auto* button = new QPushButton(tr("Choose…"), this);
        button->setObjectName(QLatin1String(name));
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        // Shown once there is a store to choose from.
        button->hide();
        m_chooseButtons << button;
        row->addWidget(button);
        return row;
    };
    auto* startRow = withChooser(m_startLocation, "chooseStartLocation", tr("Choose the take-off place from the waypoints"));
    auto* landingRow =
        withChooser(m_landingLocation, "chooseLandingLocation", tr("Choose the landing place from the waypoints"));
    auto* places = new QFormLayout;
    places->addRow(tr("&Take-off place:"), startRow);
    static_cast<QLabel*>(places->labelForField(startRow))->setBuddy(m_startLocation);
    places->addRow(tr("Take-off altitude:"), m_startAltitude);
    places->addRow(tr("&Landing place:"), landingRow);
    static_cast<QLabel*>(places->labelForField(landingRow))->setBuddy(m_landingLocation);
    places->addRow(tr("Landing altitude:"), m_landingAltitude);
    places->addRow(m_summary);
    auto* equipment = new QFormLayout;
    auto* gliderRow = withChooser(m_glider, "chooseGlider", tr("Choose the glider from the equipment"));
    auto* harnessRow = withChooser(m_harness, "chooseHarness", tr("Choose the harness from the equipment"));
    equipment->addRow(tr("&Glider:"), gliderRow);
    static_cast<QLabel*>(equipment->labelForField(gliderRow))->setBuddy(m_glider);
    equipment->addRow(tr("Glider t&ype:"), m_gliderType);
    equipment->addRow(tr("Ha&rness:"), harnessRow);
    static_cast<QLabel*>(equipment->labelForField(harnessRow))->setBuddy(m_harness);
    connect(m_chooseButtons.at(0), &QPushButton::clicked, this, &FlightDetailPane::chooseStartPlaceRequested);
    connect(m_chooseButtons.at(1), &QPushButton::clicked, this, &FlightDetailPane::chooseLandingPlaceRequested);
    connect(m_chooseButtons.at(2), &QPushButton::clicked, this, &FlightDetailPane::chooseGliderRequested);
    connect(m_chooseButtons.at(3), &QPushButton::clicked, this, &FlightDetailPane::chooseHarnessRequested);
    equipment->addRow(QString(), m_validIGC);
    equipment->addRow(tr("&Notice:"), m_notice);
    m_contests = new QLabel(this);
    m_contests->setObjectName(QStringLiteral("contestSubmissions"));
    m_contests->setTextFormat(Qt::PlainText);
    m_contests->setWordWrap(true);
    m_contests->setTextInteractionFlags(Qt::TextSelectableByMouse);
    equipment->addRow(tr("Contests:"), m_contests);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(times);
    layout->addLayout(places, 1);
    layout->addLayout(equipment, 1);

    for (QDateTimeEdit* edit : {m_date, m_startLocal, m_landingLocal, m_startUTC, m_landingUTC}) {
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this, edit] {
            if (!m_showing)
                m_edited.insert(edit);
        });
        connect(edit, &QDateTimeEdit::editingFinished, this, [this, edit] { applyTime(edit); });
    }
    for (QLineEdit* edit : {m_startLocation, m_landingLocation, m_startAltitude, m_landingAltitude, m_glider, m_harness})
        connect(edit, &QLineEdit::editingFinished, this, [this, edit] { applyText(edit); });
    connect(m_notice, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_showing)
            m_edited.insert(m_notice);
    });
    connect(m_utcOffset, &QComboBox::activated, this, &FlightDetailPane::offsetChosen);
    connect(m_gliderType, &QComboBox::activated, this, &FlightDetailPane::gliderTypeChosen);
    connect(m_validIGC, &QCheckBox::clicked, this, &FlightDetailPane::validityClicked);

    fillUtcOffsets();
    refresh();
}

FlightDetailPane::~FlightDetailPane() = default;

void FlightDetailPane::setChoosersAvailable(bool available)
{
    for (QPushButton* button : m_chooseButtons)
        button->setVisible(available);
}

void FlightDetailPane::fillUtcOffsets()
{
    const QSignalBlocker quiet(m_utcOffset);
    m_utcOffset->clear();
    m_utcOffset->addItems(utcOffsetLabels());
    m_utcOffset->setCurrentIndex(kDefaultUtcOffsetRow);
}

void FlightDetailPane::setFlights(const QList<Flight*>& flights)
{
    commitPendingEdits();
    m_edited.clear();
    m_flights.clear();
    for (Flight* flight : flights)
        m_flights << flight;
    refresh();
}

QList<Flight*> FlightDetailPane::flights() const
{
    return liveFlights();
}

QList<Flight*> FlightDetailPane::liveFlights() const
{
    QList<Flight*> flights;
    for (const QPointer<Flight>& flight : m_flights) {
        if (flight && !flight->isDeleted())
            flights << flight.data();
    }
    return flights;
}

void FlightDetailPane::focusFirstField()
{
    // After the gesture that asked for it, whose mouse release would take the focus back.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_startLocation->setFocus(Qt::OtherFocusReason);
            m_startLocation->selectAll();
        },
        Qt::QueuedConnection);
}

void FlightDetailPane::commitPendingEdits()
{
    if (m_edited.contains(m_notice))
        applyNotice();
    for (QDateTimeEdit* edit : {m_date, m_startLocal, m_landingLocal, m_startUTC, m_landingUTC})
        if (m_edited.contains(edit))
            applyTime(edit);
    for (QLineEdit* edit : {m_startLocation, m_landingLocation, m_startAltitude, m_landingAltitude, m_glider, m_harness})
        if (edit->isModified())
            applyText(edit);
}

void FlightDetailPane::showTime(QDateTimeEdit* editor, const char* key, bool dateOnly)
{
    if (m_edited.contains(editor))
        return; // the user's entry in progress stays
    const QList<Flight*> flights = liveFlights();
    const SharedValue shared = sharedValue(flights, [key, dateOnly](Flight* flight) {
        const QDateTime value = utcOf(flight->value(QLatin1String(key)));
        return dateOnly ? QVariant(value.date()) : QVariant(value);
    });
    const QDateTime value = utcOf(flights.isEmpty() ? QVariant() : flights.first()->value(QLatin1String(key)));
    editor->setSpecialValueText(shared.mixed ? multipleValuesText() : QStringLiteral(" "));
    editor->setDateTime(shared.mixed || !value.isValid() ? kBlankDateTime : value);
}

void FlightDetailPane::showText(QLineEdit* editor, const char* key)
{
    if (editor->isModified())
        return; // the user's entry in progress stays
    const QList<Flight*> flights = liveFlights();
    const SharedValue shared =
        sharedValue(flights, [key](Flight* flight) { return QVariant(flight->stringValue(QLatin1String(key))); });
    editor->setPlaceholderText(shared.mixed ? multipleValuesText() : QString());
    editor->setText(shared.value.toString());
    editor->setModified(false);
}

void FlightDetailPane::refresh()
{
    const QList<Flight*> flights = liveFlights();
    m_showing = true;
    const bool any = !flights.isEmpty();
    for (QWidget* field : findChildren<QWidget*>()) {
        if (field != m_summary)
            field->setEnabled(any);
    }

    QStringList submissions;
    if (flights.size() == 1) {
        for (const ContestSubmission* submission : contestSubmissionsOf(*flights.first()))
            submissions << contestSubmissionText(*submission);
        if (submissions.isEmpty())
            submissions << tr("Not submitted");
    }
    m_contests->setText(submissions.join(QLatin1Char('\n')));

    showTime(m_date, "startUTC", true);
    showTime(m_startLocal, "startLocal", false);
    showTime(m_landingLocal, "landingLocal", false);
    showTime(m_startUTC, "startUTC", false);
    showTime(m_landingUTC, "landingUTC", false);

    const SharedValue offset = sharedValue(flights, [](Flight* flight) {
        return QVariant(utcOffsetIndex(flight->utcOffset()).value_or(kDefaultUtcOffsetRow));
    });
    m_utcOffset->setPlaceholderText(offset.mixed ? multipleValuesText() : QString());
    m_utcOffset->setCurrentIndex(offset.mixed ? -1 : any ? offset.value.toInt() : kDefaultUtcOffsetRow);

    showText(m_startLocation, "startLocation");
    showText(m_landingLocation, "landingLocation");
    showText(m_glider, "glider");
    showText(m_harness, "harness");

    const auto showAltitude = [&flights](QLineEdit* editor, const char* key) {
        if (editor->isModified())
            return;
        const SharedValue shared = sharedValue(flights, [key](Flight* flight) {
            return QVariant(Flight::altitudeString(flight->value(QLatin1String(key)).toDouble()));
        });
        editor->setPlaceholderText(shared.mixed ? multipleValuesText() : UnitDisplay::current().altitudeUnit());
        editor->setText(shared.value.toString());
        editor->setModified(false);
    };
    showAltitude(m_startAltitude, "startAltitude");
    showAltitude(m_landingAltitude, "landingAltitude");

    const SharedValue type =
        sharedValue(flights, [](Flight* flight) { return QVariant(qint64(flight->glidertype())); });
    m_gliderType->setPlaceholderText(type.mixed ? multipleValuesText() : QString());
    m_gliderType->setCurrentIndex(type.mixed || !any ? -1 : int(type.value.toLongLong()));

    const SharedValue valid = sharedValue(flights, [](Flight* flight) { return QVariant(flight->validIGC()); });
    m_validIGC->setTristate(valid.mixed);
    m_validIGC->setCheckState(valid.mixed ? Qt::PartiallyChecked : valid.value.toBool() ? Qt::Checked : Qt::Unchecked);
    const bool allRecorded = std::all_of(flights.cbegin(), flights.cend(),
                                         [](const Flight* flight) { return flight->hasRecording(); });
    // Validity comes from the record's security check: it can be taken away, not given.
    m_validIGC->setEnabled(any && allRecorded && (valid.mixed || valid.value.toBool()));

    const SharedValue notice =
        sharedValue(flights, [](Flight* flight) { return QVariant(flight->stringValue(QStringLiteral("notice"))); });
    if (!m_edited.contains(m_notice)) {
        m_notice->setPlaceholderText(notice.mixed ? multipleValuesText() : QString());
        m_notice->setPlainText(notice.value.toString());
    }

    if (flights.size() == 1) {
        const Flight* flight = flights.first();
        QStringList lines;
        if (const QString places = placesSummary(flight->startLocation(), flight->landingLocation()); !places.isEmpty())
            lines << places;
        lines << tr("Flight time %1 · %2").arg(flight->flightTimeString(), flight->flightType());
        m_summary->setText(lines.join(QLatin1Char('\n')));
    } else {
        m_summary->setText(any ? tr("%n flights selected", nullptr, int(flights.size())) : tr("No flight selected"));
    }
    m_showing = false;
}

void FlightDetailPane::applyTime(QDateTimeEdit* editor)
{
    if (m_showing || !m_edited.remove(editor))
        return; // leaving a field without changing it writes nothing
    const QList<Flight*> flights = liveFlights();
    if (flights.isEmpty() || editor->dateTime() == kBlankDateTime) {
        refresh();
        return;
    }
    // Read before writing: each write redraws the pane.
    const QDate date = editor->date();
    const QTime time = editor->time();
    {
        const UndoGroup group(m_context);
        for (Flight* flight : flights) {
            const QDateTime start = utcOf(flight->value(QStringLiteral("startUTC")));
            if (editor == m_date) {
                // The day changes, the time of day stays; the landing follows (changeDate).
                const QDateTime moved(date, start.isValid() ? start.time() : QTime(0, 0), QTimeZone::utc());
                if (moved != start)
                    flight->setStartUTC(moved);
                continue;
            }
            // A time applies to each flight's own day, so several flights keep their dates.
            const char* key = editor == m_startLocal     ? "startLocal"
                              : editor == m_landingLocal ? "landingLocal"
                              : editor == m_startUTC     ? "startUTC"
                                                         : "landingUTC";
            const QDateTime current = utcOf(flight->value(QLatin1String(key)));
            const QDate day = current.isValid() ? current.date() : start.isValid() ? start.date() : QDate::currentDate();
            const QDateTime value(day, time, QTimeZone::utc());
            if (value == current)
                continue;
            if (editor == m_startLocal)
                flight->setStartLocal(value);
            else if (editor == m_landingLocal)
                flight->setLandingLocal(value);
            else if (editor == m_startUTC)
                flight->setStartUTC(value);
            else
                flight->setLandingUTC(value);
        }
    }
    refresh();
}

void FlightDetailPane::applyText(QLineEdit* editor)
{
    if (m_showing || !editor->isModified())
        return;
    editor->setModified(false);
    const QList<Flight*> flights = liveFlights();
    if (flights.isEmpty())
        return;
    const QString text = editor->text().trimmed();
    const QString key = editor->objectName();
    QVariant value = text.isEmpty() ? QVariant() : QVariant(text);
    if (editor == m_startAltitude || editor == m_landingAltitude) {
        const std::optional<double> metres = Flight::altitudeFromString(text);
        if (!text.isEmpty() && !metres) {
            refresh(); // unreadable: the stored altitude stays
            return;
        }
        value = metres ? QVariant(*metres) : QVariant();
    }
    setFlightsValue(m_context, flights, key, value);
    refresh();
}

void FlightDetailPane::applyNotice()
{
    m_edited.remove(m_notice);
    const QList<Flight*> flights = liveFlights();
    const QString text = m_notice->toPlainText();
    const QVariant value = text.isEmpty() ? QVariant() : QVariant(text);
    setFlightsValue(m_context, flights, QStringLiteral("notice"), value);
}

void FlightDetailPane::offsetChosen(int row)
{
    if (m_showing || row < 0)
        return;
    const std::optional<double> offset = row == kDefaultUtcOffsetRow ? std::nullopt : utcOffsetAt(row);
    setFlightsValue(m_context, liveFlights(), QStringLiteral("utcOffset"), offset ? QVariant(*offset) : QVariant());
    refresh();
}

void FlightDetailPane::gliderTypeChosen(int row)
{
    if (m_showing || row < 0)
        return;
    QSettings().setValue(kLastGliderTypeKey, row);
    const QList<Flight*> flights = liveFlights();
    setFlightsValue(m_context, flights, QStringLiteral("glidertype"), QVariant(qint64(row)));
    refresh();
    emit gliderTypeChanged(flights);
}

void FlightDetailPane::validityClicked()
{
    if (m_showing)
        return;
    // Only the record's own check makes a flight valid, so whatever state a click
    // moves the box to (from "Multiple values" it is checked), it asks to invalidate.
    if (!m_interaction) {
        refresh();
        return;
    }
    {
        const QSignalBlocker quiet(m_validIGC);
        m_validIGC->setCheckState(Qt::Unchecked);
    }
    QList<QPointer<Flight>> flights;
    for (Flight* flight : liveFlights())
        flights << flight;
    m_interaction->askInvalidateIGC(window(), [this, flights, self = QPointer<FlightDetailPane>(this)](bool confirmed) {
        if (!self)
            return;
        if (confirmed) {
            QList<Flight*> asked;
            for (const QPointer<Flight>& flight : flights)
                if (flight)
                    asked << flight.data();
            setFlightsValue(m_context, asked, QStringLiteral("validIGC"), QVariant(false));
        }
        // Cancelled: the records were not touched, so each flight shows its own value again.
        refresh();
    });
}

bool FlightDetailPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_notice && event->type() == QEvent::FocusOut && m_edited.contains(m_notice))
        applyNotice();
    return QGroupBox::eventFilter(watched, event);
}

} // namespace kalvora
