#include "ui/waypoints/waypointdetailspane.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>

#include <cmath>

#include "model/waypoint.h"
#include "ui/waypoints/waypointtextfieldformatter.h"

namespace kalvora {
namespace {

qint64 toMicro(double degrees)
{
    return qint64(std::trunc(degrees * 1000000.0));
}

} // namespace

WaypointDetailsPane::WaypointDetailsPane(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("details"));
    auto* left = new QFormLayout;
    auto* middle = new QFormLayout;
    auto* right = new QFormLayout;
    const struct
    {
        const char* key;
        QString label;
        QFormLayout* form;
    } texts[] = {
        {"name", tr("&Name:"), left},      {"shortName", tr("S&hort name:"), left},
        {"group", tr("&Group:"), left},    {"notice", tr("N&otice:"), left},
        {"street", tr("S&treet:"), right}, {"house", tr("Ho&use:"), right},
        {"city", tr("C&ity:"), right},     {"county", tr("Count&y:"), right},
        {"state", tr("St&ate:"), right},
    };
    for (const auto& t : texts) {
        auto* edit = new QLineEdit(this);
        const QString key = QLatin1String(t.key);
        edit->setObjectName(key);
        if (key == QLatin1String("shortName")) {
            edit->setValidator(new WaypointTextFieldFormatter(edit));
            edit->setToolTip(tr("At most %1 characters, as instruments take them")
                                 .arg(WaypointTextFieldFormatter::MaxLength));
        }
        t.form->addRow(t.label, edit);
        m_textFields.append({key, edit});
        connect(edit, &QLineEdit::editingFinished, this, [this, key, edit] { applyText(key, edit->text()); });
    }
    m_country = new QComboBox(this);
    m_country->setObjectName(QStringLiteral("country"));
    m_country->setEditable(true);
    m_country->setInsertPolicy(QComboBox::NoInsert);
    right->addRow(tr("Co&untry:"), m_country);
    connect(m_country, &QComboBox::textActivated, this,
            [this](const QString& text) { applyText(QStringLiteral("country"), text); });
    connect(m_country->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { applyText(QStringLiteral("country"), m_country->currentText()); });

    m_altitude = new QSpinBox(this);
    m_altitude->setObjectName(QStringLiteral("altitude"));
    m_altitude->setRange(-1000, 10000);
    m_altitude->setSuffix(QStringLiteral(" m"));
    m_latitude = new QDoubleSpinBox(this);
    m_latitude->setObjectName(QStringLiteral("latitude"));
    m_latitude->setRange(-90, 90);
    m_latitude->setDecimals(6);
    m_latitude->setSuffix(QStringLiteral("°"));
    m_longitude = new QDoubleSpinBox(this);
    m_longitude->setObjectName(QStringLiteral("longitude"));
    m_longitude->setRange(-180, 180);
    m_longitude->setDecimals(6);
    m_longitude->setSuffix(QStringLiteral("°"));
    m_radius = new QSpinBox(this);
    m_radius->setObjectName(QStringLiteral("radius"));
    m_radius->setRange(0, 100000);
    m_radius->setSuffix(QStringLiteral(" m"));
    middle->addRow(tr("&Latitude:"), m_latitude);
    middle->addRow(tr("Lon&gitude:"), m_longitude);
    middle->addRow(tr("Alti&tude:"), m_altitude);
    middle->addRow(tr("&Radius:"), m_radius);

    connect(m_altitude, &QSpinBox::editingFinished, this, [this] {
        Waypoint* w = m_waypoint.data();
        if (!m_showing && w && w->altitude() != m_altitude->value())
            w->setAltitude(m_altitude->value());
    });
    connect(m_radius, &QSpinBox::editingFinished, this, [this] {
        Waypoint* w = m_waypoint.data();
        if (!m_showing && w && w->radius().value_or(0) != m_radius->value())
            w->setRadius(m_radius->value());
    });
    connect(m_latitude, &QDoubleSpinBox::editingFinished, this, [this] {
        Waypoint* w = m_waypoint.data();
        if (!m_showing && w && w->latitude() != toMicro(m_latitude->value()))
            w->setDoubleLatitude(m_latitude->value());
    });
    connect(m_longitude, &QDoubleSpinBox::editingFinished, this, [this] {
        Waypoint* w = m_waypoint.data();
        if (!m_showing && w && w->longitude() != toMicro(m_longitude->value()))
            w->setDoubleLongitude(m_longitude->value());
    });

    auto* row = new QHBoxLayout(this);
    row->addLayout(left, 3);
    row->addLayout(middle, 2);
    row->addLayout(right, 3);
    showWaypoint(nullptr);
}

void WaypointDetailsPane::applyText(const QString& key, const QString& text)
{
    Waypoint* w = m_waypoint.data();
    if (m_showing || !w || w->isDeleted())
        return;
    if (w->stringValue(key) == text)
        return;
    w->setValue(key, text.isEmpty() ? QVariant() : QVariant(text));
    emit waypointEdited(w);
}

void WaypointDetailsPane::showWaypoint(Waypoint* w)
{
    m_waypoint = w;
    m_showing = true;
    setEnabled(w != nullptr);
    for (const auto& [key, edit] : m_textFields) {
        const QSignalBlocker quiet(edit);
        edit->setText(w ? w->stringValue(key) : QString());
    }
    {
        const QSignalBlocker quiet(m_country);
        m_country->setCurrentIndex(-1);
        m_country->setEditText(w ? w->country() : QString());
    }
    for (QSpinBox* spin : {m_altitude, m_radius}) {
        const QSignalBlocker quiet(spin);
        spin->setValue(!w ? 0 : spin == m_altitude ? int(w->altitude()) : int(w->radius().value_or(0)));
    }
    for (QDoubleSpinBox* spin : {m_latitude, m_longitude}) {
        const QSignalBlocker quiet(spin);
        spin->setValue(!w ? 0 : spin == m_latitude ? w->doubleLatitude() : w->doubleLongitude());
    }
    m_showing = false;
}

void WaypointDetailsPane::setCountries(const QStringList& countries)
{
    {
        const QSignalBlocker quiet(m_country);
        m_country->clear();
        m_country->addItems(countries);
    }
    // Filling the list chose its first entry; the field shows the waypoint's country only.
    showWaypoint(m_waypoint.data());
}

Waypoint* WaypointDetailsPane::waypoint() const
{
    return m_waypoint.data();
}

void WaypointDetailsPane::focusName()
{
    for (const auto& [key, edit] : m_textFields)
        if (key == QLatin1String("name"))
            edit->setFocus();
}

} // namespace kalvora
