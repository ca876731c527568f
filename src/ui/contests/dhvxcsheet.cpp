#include "ui/contests/dhvxcsheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>

#include "contests/credentialstore.h"
#include "contests/dhvxc.h"
#include "model/flight.h"
#include "model/pilot.h"
#include "store/objectcontext.h"
#include "ui/datefield.h"

namespace kalvora {

DHVXCSheet::DHVXCSheet(ObjectContext* context, const QList<Flight*>& flights, const ContestSheetServices& services,
                       QWidget* parent)
    : ContestSheet(Contest::DHVXC, context, flights, services, parent)
{
    setObjectName(QStringLiteral("DHVXC"));
    setWindowTitle(tr("Submit to DHV-XC"));

    auto* intro = new QLabel(tr("Sends the selected flight with its IGC record to the DHV-XC contest."), this);
    intro->setWordWrap(true);
    m_firstName = new QLineEdit(this);
    m_firstName->setObjectName(QStringLiteral("firstName"));
    m_lastName = new QLineEdit(this);
    m_lastName->setObjectName(QStringLiteral("lastName"));
    m_birth = new DateField(QDate(1980, 1, 1), this);
    m_birth->setObjectName(QStringLiteral("birth"));
    m_birth->lineEdit()->setObjectName(QStringLiteral("birthText"));
    m_class = new QComboBox(this);
    m_class->setObjectName(QStringLiteral("gliderClass"));
    m_class->addItems(dhvxc::classNames());
    m_category = new QComboBox(this);
    m_category->setObjectName(QStringLiteral("gliderCategory"));
    m_manufacturer = new QComboBox(this);
    m_manufacturer->setObjectName(QStringLiteral("manufacturer"));
    for (const dhvxc::Manufacturer& maker : dhvxc::manufacturerChoices(tr("Other")))
        m_manufacturer->addItem(maker.name, maker.id);
    m_model = new QLineEdit(this);
    m_model->setObjectName(QStringLiteral("gliderModel"));
    m_startType = new QComboBox(this);
    m_startType->setObjectName(QStringLiteral("startType"));
    m_startType->addItems(dhvxc::startTypeNames());
    m_comment = new QCheckBox(tr("Send the flight's &comment"), this);
    m_comment->setObjectName(QStringLiteral("submitComment"));
    connect(m_class, &QComboBox::currentIndexChanged, this, &DHVXCSheet::fillCategories);

    auto* form = new QFormLayout;
    form->addRow(intro);
    form->addRow(tr("&First name:"), m_firstName);
    form->addRow(tr("&Last name:"), m_lastName);
    form->addRow(tr("&Birth date:"), m_birth);
    addLoginRows(form);
    form->addRow(tr("Glider c&lass:"), m_class);
    form->addRow(tr("C&ertification:"), m_category);
    form->addRow(tr("&Manufacturer:"), m_manufacturer);
    form->addRow(tr("M&odel:"), m_model);
    form->addRow(tr("La&unch:"), m_startType);
    form->addRow(QString(), m_comment);
    m_birth->setAccessibleName(tr("Birth date"));
    m_comment->setAccessibleName(m_comment->text().remove(QLatin1Char('&')));
    finishLayout(form);

    // The remembered answers first, then what the logbook knows, then the keyring (in addLoginRows).
    const QSettings settings;
    m_firstName->setText(settings.value(QLatin1String(dhvxc::keyFirstname)).toString());
    m_lastName->setText(settings.value(QLatin1String(dhvxc::keyLastname)).toString());
    m_birth->setDate(settings.value(QLatin1String(dhvxc::keyBirth)).toDate());
    m_class->setCurrentIndex(qBound(0, settings.value(QLatin1String(dhvxc::keyGliderClass)).toInt(), m_class->count() - 1));
    fillCategories();
    const int category = settings.value(QLatin1String(dhvxc::keyGliderCategory)).toInt();
    if (category >= 0 && category < m_category->count())
        m_category->setCurrentIndex(category);
    m_model->setText(settings.value(QLatin1String(dhvxc::keyGliderModel)).toString());
    const int maker = settings.value(QLatin1String(dhvxc::keyGliderManufacturer)).toInt();
    m_manufacturer->setCurrentIndex(maker >= 0 && maker < m_manufacturer->count() ? maker : 0);
    const int start = settings.value(QLatin1String(dhvxc::keyStartType)).toInt();
    m_startType->setCurrentIndex(start >= 0 && start < m_startType->count() ? start : 0);
    m_comment->setChecked(settings.value(QLatin1String(dhvxc::keyDoNotSubmitComment)).toInt() == 0);

    if (context) {
        const QList<Pilot*> pilots = context->fetch<Pilot>();
        if (const Pilot* pilot = pilots.isEmpty() ? nullptr : pilots.first()) {
            if (m_firstName->text().isEmpty() && !pilot->firstname().isEmpty())
                m_firstName->setText(pilot->firstname());
            if (m_lastName->text().isEmpty() && !pilot->lastname().isEmpty())
                m_lastName->setText(pilot->lastname());
            if (!m_birth->date().isValid() && pilot->birth().isValid())
                m_birth->setDate(pilot->birth().toUTC().date());
        }
    }
    if (m_model->text().isEmpty() && !flights.isEmpty() && flights.first())
        m_model->setText(gliderModelOf(flights.first()->glider(), true));
    setMinimumWidth(480);
}

DHVXCSheet::~DHVXCSheet() = default;

void DHVXCSheet::fillCategories()
{
    m_category->clear();
    for (const dhvxc::Category& category : dhvxc::categoriesForClass(m_class->currentIndex()))
        m_category->addItem(category.name, category.tag);
}

void DHVXCSheet::rememberAnswers()
{
    QSettings settings;
    settings.setValue(QLatin1String(dhvxc::keyFirstname), m_firstName->text());
    settings.setValue(QLatin1String(dhvxc::keyLastname), m_lastName->text());
    if (m_birth->date().isValid())
        settings.setValue(QLatin1String(dhvxc::keyBirth), m_birth->date());
    else
        settings.remove(QLatin1String(dhvxc::keyBirth));
    settings.setValue(QLatin1String(dhvxc::keyGliderClass), m_class->currentIndex());
    settings.setValue(QLatin1String(dhvxc::keyGliderCategory), m_category->currentIndex());
    settings.setValue(QLatin1String(dhvxc::keyGliderModel), m_model->text());
    settings.setValue(QLatin1String(dhvxc::keyGliderManufacturer), m_manufacturer->currentIndex());
    settings.setValue(QLatin1String(dhvxc::keyStartType), m_startType->currentIndex());
    settings.setValue(QLatin1String(dhvxc::keyDoNotSubmitComment), m_comment->isChecked() ? 0 : 1);
    settings.sync();
}

ContestSheet::Job DHVXCSheet::prepareJob(QString& reason)
{
    const Result<QUrl> base = contestBaseUrl(Contest::DHVXC);
    if (!base) {
        reason = QString::fromStdString(base.error());
        return {};
    }
    dhvxc::Form form;
    form.firstName = m_firstName->text();
    form.lastName = m_lastName->text();
    form.birth = m_birth->date();
    form.user = userField()->text();
    form.password = passwordField()->text();
    form.classIndex = m_class->currentIndex();
    form.categoryTag = m_category->currentData().toInt();
    form.glider = m_model->text();
    form.startTypeIndex = m_startType->currentIndex();
    form.sendComment = m_comment->isChecked();
    form.manufacturerId = m_manufacturer->currentData().toInt();
    QList<ContestFlight> sending;
    for (const QPointer<Flight>& flight : flights()) {
        if (flight)
            sending.append(contestFlight(*flight));
    }
    return [form, sending, url = *base](HttpClient& http, const std::atomic<bool>* cancel,
                                        const std::function<void(int)>& progress) mutable {
        JobResult result;
        result.outcome = dhvxc::submit(http, url, form, sending, cancel, progress,
                                       [&result](const ContestFlight& flight, const QString& answer) {
                                           result.sent.append({flight.id, answer, QString()});
                                       });
        scrubSecret(form.password);
        return result;
    };
}

} // namespace kalvora
