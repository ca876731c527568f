#include "ui/contests/xcontestsheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>

#include "contests/credentialstore.h"
#include "contests/xcontest.h"
#include "model/flight.h"

namespace kalvora {

XContestSheet::XContestSheet(ObjectContext* context, const QList<Flight*>& flights,
                             const ContestSheetServices& services, QWidget* parent)
    : ContestSheet(Contest::XContest, context, flights, services, parent)
{
    setObjectName(QStringLiteral("XC"));
    setWindowTitle(tr("Submit to XContest"));

    auto* intro = new QLabel(tr("Sends the selected flight with its IGC record to the XContest contest."), this);
    intro->setWordWrap(true);
    m_class = new QComboBox(this);
    m_class->setObjectName(QStringLiteral("gliderClass"));
    m_class->addItems(xcontest::classNames());
    m_category = new QComboBox(this);
    m_category->setObjectName(QStringLiteral("gliderCategory"));
    m_category->addItems(xcontest::categoryNames());
    m_glider = new QLineEdit(this);
    m_glider->setObjectName(QStringLiteral("gliderName"));
    m_takeoff = new QLineEdit(this);
    m_takeoff->setObjectName(QStringLiteral("takeoff"));
    m_comment = new QCheckBox(tr("Send the flight's &comment"), this);
    m_comment->setObjectName(QStringLiteral("submitComment"));
    m_activate = new QCheckBox(tr("&Activate the flight at once"), this);
    m_activate->setObjectName(QStringLiteral("activate"));

    auto* form = new QFormLayout;
    form->addRow(intro);
    addLoginRows(form);
    form->addRow(tr("Glider c&lass:"), m_class);
    form->addRow(tr("Ca&tegory:"), m_category);
    form->addRow(tr("&Glider:"), m_glider);
    form->addRow(tr("Take-o&ff:"), m_takeoff);
    form->addRow(QString(), m_comment);
    form->addRow(QString(), m_activate);
    m_comment->setAccessibleName(m_comment->text().remove(QLatin1Char('&')));
    m_activate->setAccessibleName(m_activate->text().remove(QLatin1Char('&')));
    finishLayout(form);

    const QSettings settings;
    const int klass = settings.value(QLatin1String(xcontest::keyGliderClass)).toInt();
    m_class->setCurrentIndex(klass >= 0 && klass < m_class->count() ? klass : 0);
    const int category = settings.value(QLatin1String(xcontest::keyGliderCategory)).toInt();
    m_category->setCurrentIndex(category >= 0 && category < m_category->count() ? category : 0);
    m_comment->setChecked(settings.value(QLatin1String(xcontest::keyDoNotSubmitComment)).toInt() == 0);
    m_activate->setChecked(settings.value(QLatin1String(xcontest::keyActivateDirectly)).toInt() == 0);
    if (const Flight* first = flights.isEmpty() ? nullptr : flights.first()) {
        m_glider->setText(gliderModelOf(first->glider(), false));
        m_takeoff->setText(first->startLocation());
    }
    setMinimumWidth(480);
}

XContestSheet::~XContestSheet() = default;

void XContestSheet::rememberAnswers()
{
    QSettings settings;
    settings.setValue(QLatin1String(xcontest::keyGliderClass), m_class->currentIndex());
    settings.setValue(QLatin1String(xcontest::keyGliderCategory), m_category->currentIndex());
    settings.setValue(QLatin1String(xcontest::keyGliderModel), m_glider->text());
    settings.setValue(QLatin1String(xcontest::keyDoNotSubmitComment), m_comment->isChecked() ? 0 : 1);
    settings.setValue(QLatin1String(xcontest::keyActivateDirectly), m_activate->isChecked() ? 0 : 1);
    settings.sync();
}

ContestSheet::Job XContestSheet::prepareJob(QString& reason)
{
    const Result<QUrl> base = contestBaseUrl(Contest::XContest);
    if (!base) {
        reason = QString::fromStdString(base.error());
        return {};
    }
    const QPointer<Flight> first = flights().isEmpty() ? QPointer<Flight>() : flights().first();
    if (!first) {
        reason = tr("Can't create valid flight data");
        return {};
    }
    xcontest::Form form;
    form.user = userField()->text();
    form.password = passwordField()->text();
    form.classIndex = m_class->currentIndex();
    form.categoryIndex = m_category->currentIndex();
    form.gliderName = m_glider->text();
    form.takeoffName = m_takeoff->text();
    form.sendComment = m_comment->isChecked();
    form.activate = m_activate->isChecked();
    return [form, flight = contestFlight(*first), url = *base, key = xcontestApiKey(),
            secret = xcontestApiSecret()](HttpClient& http, const std::atomic<bool>* cancel,
                                          const std::function<void(int)>& progress) mutable {
        JobResult result;
        result.outcome = xcontest::submit(http, url, key, secret, form, flight, cancel, progress);
        if (result.outcome.success)
            result.sent.append({flight.id, QString(), result.outcome.link});
        scrubSecret(form.password);
        return result;
    };
}

} // namespace kalvora
