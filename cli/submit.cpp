// kalvora-cli submit dhvxc|xcontest LOGBOOK --flight ID [--field NAME=VALUE]... [--password-stdin] [--again]:
// one flight to an online contest, through the same code as the submission sheets.
#include <QJsonObject>
#include <QSettings>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

#include "cli/command.h"
#include "cli/logbookflights.h"
#include "contests/credentialstore.h"
#include "contests/dhvxc.h"
#include "contests/submissionrecords.h"
#include "contests/xcontest.h"
#include "model/contestsubmission.h"
#include "model/flight.h"
#include "model/pilot.h"
#include "services/httpclient.h"
#include "store/objectcontext.h"

namespace kalvora::cli {
namespace {

const char* const kUsage =
    "usage: kalvora-cli submit dhvxc|xcontest LOGBOOK --flight ID [--field NAME=VALUE]... [--password-stdin] "
    "[--again]\n"
    "  dhvxc fields: firstname lastname birth(YYYY-MM-DD) user class(1-9) category(e.g. \"LTF B\") "
    "manufacturer(name or id, \"other\") glider start(1-3) comment(yes|no)\n"
    "  xcontest fields: user class(3|1|5|2|11|12) category(A|B|C|D|Z|T) glider takeoff comment(yes|no) "
    "activate(yes|no)\n"
    "Unset fields come from the answers last given in the submission sheet, the logbook's pilot and the flight.\n"
    "The password comes from the keyring, or with --password-stdin from the first line of standard input.";

std::optional<bool> yesNo(const QString& text)
{
    if (text == QLatin1String("yes") || text == QLatin1String("1") || text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("no") || text == QLatin1String("0") || text == QLatin1String("false"))
        return false;
    return std::nullopt;
}

bool fail(const QString& message)
{
    printError(message);
    return false;
}

/** The password line on standard input, without its line end. */
QString passwordFromStdin()
{
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    QString password = QString::fromStdString(line);
    std::fill(line.begin(), line.end(), '\0');
    return password;
}

bool applyDHVField(dhvxc::Form& form, const QString& name, const QString& value)
{
    // An entry of NAMES given by its number, the first being 1.
    const auto numbered = [&](const QStringList& names, int& index) {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok || number < 1 || number > int(names.size()))
            return fail(QStringLiteral("%1: %2 is not 1 to %3").arg(name, value).arg(names.size()));
        index = number - 1;
        return true;
    };
    if (name == QLatin1String("firstname")) {
        form.firstName = value;
    } else if (name == QLatin1String("lastname")) {
        form.lastName = value;
    } else if (name == QLatin1String("birth")) {
        form.birth = QDate::fromString(value, Qt::ISODate);
        if (!form.birth.isValid())
            return fail(QStringLiteral("birth: \"%1\" is not a date YYYY-MM-DD").arg(value));
    } else if (name == QLatin1String("user")) {
        form.user = value;
    } else if (name == QLatin1String("class")) {
        return numbered(dhvxc::classNames(), form.classIndex);
    } else if (name == QLatin1String("category")) {
        form.categoryTag = 0;
        for (const dhvxc::Category& category : dhvxc::categoriesForClass(form.classIndex))
            if (category.name.compare(value, Qt::CaseInsensitive) == 0 || QString::number(category.tag) == value)
                form.categoryTag = category.tag;
        if (form.categoryTag == 0)
            return fail(QStringLiteral("category: \"%1\" is not offered for class %2").arg(value).arg(form.classIndex + 1));
    } else if (name == QLatin1String("manufacturer")) {
        form.manufacturerId = 0;
        for (const dhvxc::Manufacturer& maker : dhvxc::manufacturerChoices(QStringLiteral("other")))
            if (maker.name.compare(value, Qt::CaseInsensitive) == 0 || QString::number(maker.id) == value)
                form.manufacturerId = maker.id;
        if (form.manufacturerId == 0)
            return fail(QStringLiteral("manufacturer: \"%1\" is not on DHV-XC's list").arg(value));
    } else if (name == QLatin1String("glider")) {
        form.glider = value;
    } else if (name == QLatin1String("start")) {
        return numbered(dhvxc::startTypeNames(), form.startTypeIndex);
    } else if (name == QLatin1String("comment")) {
        const std::optional<bool> on = yesNo(value);
        if (!on)
            return fail(QStringLiteral("comment: yes or no"));
        form.sendComment = *on;
    } else {
        return fail(QStringLiteral("dhvxc has no field \"%1\"").arg(name));
    }
    return true;
}

bool applyXContestField(xcontest::Form& form, const QString& name, const QString& value)
{
    const auto position = [&](const std::function<QString(int)>& code, int& index) {
        for (int i = 0; i < 6; ++i)
            if (code(i).compare(value, Qt::CaseInsensitive) == 0) {
                index = i;
                return true;
            }
        return fail(QStringLiteral("%1: \"%2\" is not a code of XContest").arg(name, value));
    };
    if (name == QLatin1String("user")) {
        form.user = value;
    } else if (name == QLatin1String("class")) {
        return position(xcontest::classCode, form.classIndex);
    } else if (name == QLatin1String("category")) {
        return position(xcontest::categoryCode, form.categoryIndex);
    } else if (name == QLatin1String("glider")) {
        form.gliderName = value;
    } else if (name == QLatin1String("takeoff")) {
        form.takeoffName = value;
    } else if (name == QLatin1String("comment") || name == QLatin1String("activate")) {
        const std::optional<bool> on = yesNo(value);
        if (!on)
            return fail(QStringLiteral("%1: yes or no").arg(name));
        (name == QLatin1String("comment") ? form.sendComment : form.activate) = *on;
    } else {
        return fail(QStringLiteral("xcontest has no field \"%1\"").arg(name));
    }
    return true;
}

/** The sheet's remembered answers and what the logbook knows, as the sheet fills itself. */
dhvxc::Form dhvDefaults(ObjectContext& context, const Flight& flight)
{
    const QSettings settings;
    dhvxc::Form form;
    form.firstName = settings.value(QLatin1String(dhvxc::keyFirstname)).toString();
    form.lastName = settings.value(QLatin1String(dhvxc::keyLastname)).toString();
    form.birth = settings.value(QLatin1String(dhvxc::keyBirth)).toDate();
    form.classIndex = qBound(0, settings.value(QLatin1String(dhvxc::keyGliderClass)).toInt(), 8);
    const QList<dhvxc::Category> categories = dhvxc::categoriesForClass(form.classIndex);
    form.categoryTag = categories.value(settings.value(QLatin1String(dhvxc::keyGliderCategory)).toInt(),
                                        categories.value(0)).tag;
    form.glider = settings.value(QLatin1String(dhvxc::keyGliderModel)).toString();
    const QList<dhvxc::Manufacturer> makers = dhvxc::manufacturerChoices(QStringLiteral("other"));
    form.manufacturerId = makers.value(settings.value(QLatin1String(dhvxc::keyGliderManufacturer)).toInt(),
                                       makers.first()).id;
    form.startTypeIndex = qBound(0, settings.value(QLatin1String(dhvxc::keyStartType)).toInt(),
                                 int(dhvxc::startTypeNames().size()) - 1);
    form.sendComment = settings.value(QLatin1String(dhvxc::keyDoNotSubmitComment)).toInt() == 0;
    const QList<Pilot*> pilots = context.fetch<Pilot>();
    if (const Pilot* pilot = pilots.isEmpty() ? nullptr : pilots.first()) {
        if (form.firstName.isEmpty())
            form.firstName = pilot->firstname();
        if (form.lastName.isEmpty())
            form.lastName = pilot->lastname();
        if (!form.birth.isValid() && pilot->birth().isValid())
            form.birth = pilot->birth().toUTC().date();
    }
    if (form.glider.isEmpty())
        form.glider = gliderModelOf(flight.glider(), true);
    return form;
}

xcontest::Form xcontestDefaults(const Flight& flight)
{
    const QSettings settings;
    xcontest::Form form;
    form.classIndex = qBound(0, settings.value(QLatin1String(xcontest::keyGliderClass)).toInt(), 5);
    form.categoryIndex = qBound(0, settings.value(QLatin1String(xcontest::keyGliderCategory)).toInt(), 5);
    form.sendComment = settings.value(QLatin1String(xcontest::keyDoNotSubmitComment)).toInt() == 0;
    form.activate = settings.value(QLatin1String(xcontest::keyActivateDirectly)).toInt() == 0;
    form.gliderName = gliderModelOf(flight.glider(), false);
    form.takeoffName = flight.startLocation();
    return form;
}

int runSubmit(const QStringList& arguments)
{
    QStringList args = arguments;
    QStringList ids;
    QStringList fields;
    if (!takeOption(args, QStringLiteral("--flight"), ids) || !takeOption(args, QStringLiteral("--field"), fields))
        return 2;
    const bool passwordOnStdin = args.removeAll(QStringLiteral("--password-stdin")) > 0;
    const bool again = args.removeAll(QStringLiteral("--again")) > 0;
    if (args.size() != 2 || ids.size() != 1
        || (args[0] != QLatin1String("dhvxc") && args[0] != QLatin1String("xcontest"))) {
        printError(QString::fromLatin1(kUsage));
        return 2;
    }
    const Contest contest = args[0] == QLatin1String("dhvxc") ? Contest::DHVXC : Contest::XContest;
    const Result<QUrl> base = contestBaseUrl(contest);
    if (!base) {
        printError(QString::fromStdString(base.error()));
        return 1;
    }
    const ChosenFlights chosen = openFlights(args[1], ids);
    if (chosen.failure)
        return chosen.failure;
    ObjectContext& context = chosen.context();
    const QList<Flight*>& flights = chosen.flights;
    Flight& flight = *flights.first();
    if (const ContestSubmission* previous = lastContestSubmission(flight, contest); previous && !again) {
        printError(resubmitQuestion(*previous) + QStringLiteral(" Add --again to send it."));
        return 1;
    }

    dhvxc::Form dhv = dhvDefaults(context, flight);
    xcontest::Form xc = xcontestDefaults(flight);
    for (const QString& field : fields) {
        const qsizetype equals = field.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            printError(QStringLiteral("\"%1\" is not NAME=VALUE").arg(field));
            return 2;
        }
        const QString name = field.left(equals);
        const QString value = field.mid(equals + 1);
        if (name == QLatin1String("password") || name == QLatin1String("pass")) {
            printError(QStringLiteral("a password is never taken from the command line: use the keyring or --password-stdin"));
            return 2;
        }
        if (!(contest == Contest::DHVXC ? applyDHVField(dhv, name, value) : applyXContestField(xc, name, value)))
            return 2;
    }

    QString& user = contest == Contest::DHVXC ? dhv.user : xc.user;
    QString& password = contest == Contest::DHVXC ? dhv.password : xc.password;
    if (passwordOnStdin) {
        if (user.isEmpty()) {
            printError(QStringLiteral("--password-stdin needs --field user=NAME"));
            return 2;
        }
        password = passwordFromStdin();
    } else {
        const QString service = QLatin1String(contest == Contest::DHVXC ? dhvxc::credentialService
                                                                        : xcontest::credentialService);
        std::optional<ContestLogin> login = loadContestLogin(desktopCredentialStore(), service);
        if (!login || (!user.isEmpty() && login->user != user)) {
            printError(QStringLiteral("No %1 password in the keyring for this user; submit once from the sheet, "
                                      "or give it with --password-stdin")
                           .arg(contestName(contest)));
            return 1;
        }
        user = login->user;
        password = login->password;
        scrubSecret(login->password);
    }

    const ContestFlight sending = contestFlight(flight);
    QString answer;
    SubmissionOutcome outcome;
    if (contest == Contest::DHVXC) {
        outcome = dhvxc::submit(defaultHttpClient(), *base, dhv, {sending}, nullptr, {},
                                [&answer](const ContestFlight&, const QString& line) { answer = line; });
    } else {
        outcome = xcontest::submit(defaultHttpClient(), *base, xcontestApiKey(), xcontestApiSecret(), xc, sending);
    }
    scrubSecret(password);
    if (!outcome.success) {
        printError(QStringLiteral("%1: %2").arg(contestName(contest), outcome.message));
        printJson(QJsonObject{{"contest", contestKey(contest)}, {"flight", sending.id}, {"submitted", false},
                              {"message", outcome.message}});
        return 1;
    }
    recordContestSubmission(context, flight, contest, answer, outcome.link);
    const Result<Done> saved = context.save();
    if (!saved)
        printError(QStringLiteral("The flight was sent, but the logbook could not note it: %1")
                       .arg(QString::fromStdString(saved.error())));
    printJson(QJsonObject{{"contest", contestKey(contest)}, {"flight", sending.id}, {"submitted", true},
                          {"answer", answer}, {"link", outcome.link}});
    return saved ? 0 : 1;
}

const RegisterCommand submitCommand{
    {"submit", "submit dhvxc|xcontest LOGBOOK --flight ID [--field NAME=VALUE]... [--password-stdin] [--again]",
     "send one flight to DHV-XC or XContest over HTTPS; the password from the keyring or standard input; "
     "JSON {contest, flight, submitted, answer, link}",
     &runSubmit}};

} // namespace
} // namespace kalvora::cli
