#include "contests/dhvxc.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

#include "contests/credentialstore.h"
#include "services/httpclient.h"

namespace kalvora {

QByteArray formUrlEncoded(const QList<std::pair<QByteArray, QByteArray>>& fields)
{
    static const char hex[] = "0123456789ABCDEF";
    const auto append = [](QByteArray& out, const QByteArray& bytes) {
        for (const char c : bytes) {
            const auto u = static_cast<unsigned char>(c);
            if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '*' || u == '-'
                || u == '.' || u == '_') {
                out += c;
            } else if (u == ' ') {
                out += '+';
            } else {
                out += '%';
                out += hex[u >> 4];
                out += hex[u & 15];
            }
        }
    };
    QByteArray out;
    for (const auto& [name, value] : fields) {
        if (!out.isEmpty())
            out += '&';
        append(out, name);
        out += '=';
        append(out, value);
    }
    return out;
}

namespace dhvxc {

namespace {

// The server's identifiers, as its own manufacturer table numbers them.
const QList<Manufacturer>& manufacturers()
{
    static const QList<Manufacturer> list = {
        {QStringLiteral("Advance"), 1},          {QStringLiteral("Airwave"), 2},
        {QStringLiteral("Gin"), 3},              {QStringLiteral("Icaro Paragliders"), 4},
        {QStringLiteral("Nova"), 5},             {QStringLiteral("Skywalk"), 6},
        {QStringLiteral("Swing"), 7},            {QStringLiteral("UP"), 8},
        {QStringLiteral("SOL"), 9},              {QStringLiteral("Gradient"), 10},
        {QStringLiteral("FreeX"), 11},           {QStringLiteral("ProDesign"), 12},
        {QStringLiteral("MacPara"), 13},         {QStringLiteral("UTurn"), 14},
        {QStringLiteral("Apco"), 15},            {QStringLiteral("Woc"), 16},
        {QStringLiteral("Windtech"), 17},        {QStringLiteral("Sky"), 18},
        {QStringLiteral("Ozone"), 19},           {QStringLiteral("Aerodyne"), 20},
        {QStringLiteral("Aircross"), 21},        {QStringLiteral("Paratech"), 22},
        {QStringLiteral("Dudek"), 23},           {QStringLiteral("Firebird"), 24},
        {QStringLiteral("FlightDesign"), 25},    {QStringLiteral("Niviuk"), 26},
        {QStringLiteral("Independence"), 27},    {QStringLiteral("Axis"), 28},
        {QStringLiteral("Aeros"), 29},           {QStringLiteral("Edel"), 30},
        {QStringLiteral("ITV"), 31},             {QStringLiteral("Nervunes"), 32},
        {QStringLiteral("Pegas"), 33},           {QStringLiteral("Perche"), 34},
        {QStringLiteral("Trekking"), 35},        {QStringLiteral("XiX"), 36},
        {QStringLiteral("Paradelta"), 37},       {QStringLiteral("WillsWing"), 38},
        {QStringLiteral("Moyes"), 39},           {QStringLiteral("AIR"), 40},
        {QStringLiteral("Airborne"), 41},        {QStringLiteral("Bautek"), 42},
        {QStringLiteral("Seedwings"), 43},       {QStringLiteral("Finsterwalder"), 44},
        {QStringLiteral("Team5"), 45},           {QStringLiteral("Thalhofer"), 46},
        {QStringLiteral("Airea"), 47},           {QStringLiteral("La Mouette"), 48},
        {QStringLiteral("Impuls"), 49},          {QStringLiteral("Team Impact"), 50},
        {QStringLiteral("Guggemos"), 51},        {QStringLiteral("Flying Planet"), 52},
        {QStringLiteral("Enterprise Wings"), 53}, {QStringLiteral("CaliptAir"), 54},
        {QStringLiteral("Tecma"), 55},           {QStringLiteral("Icaro 2000"), 56},
        {QStringLiteral("Skyline"), 57},         {QStringLiteral("Skyward"), 58},
        {QStringLiteral("Escape"), 60},          {QStringLiteral("Little Loud"), 80},
        {QStringLiteral("JoJo Wings"), 81},      {QStringLiteral("Sky Country"), 82},
        {QStringLiteral("Ynovar"), 83},          {QStringLiteral("Archaeopteryx"), 90},
        {QStringLiteral("Air Design"), 91},      {QStringLiteral("Paramania"), 92},
        {QStringLiteral("Triple Seven"), 93},
    };
    return list;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("DHVXC", text);
}

// The answer page as a line for the submission record.
QString answerSummary(const QByteArray& body)
{
    static const QRegularExpression hidden(QStringLiteral("<(script|style)[^>]*>.*?</\\1\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption
                                               | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString text = QString::fromUtf8(body);
    text.remove(hidden);
    text.replace(tag, QStringLiteral(" "));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text.simplified().left(400);
}

} // namespace

const QStringList& categoryNames()
{
    static const QStringList names = {
        QStringLiteral("LTF 1"), QStringLiteral("LFT 1-2"), QStringLiteral("LTF 2"), QStringLiteral("LTF 2-3"),
        QStringLiteral("LTF 3"), QStringLiteral("LFT A"),   QStringLiteral("LTF B"), QStringLiteral("LTF C"),
        QStringLiteral("LTF D"), QString(),                 QStringLiteral("Proto"),
    };
    return names;
}

const QStringList& classNames()
{
    static const QStringList names = {
        tr("Paraglider, sport"),     tr("Paraglider, open"),      tr("Paraglider, serial"),
        tr("Paraglider, fun"),       tr("Hang glider, flex wing"), tr("Paraglider, tandem"),
        tr("Hang glider, rigid wing"), tr("Paraglider, standard"), tr("Paraglider, competition"),
    };
    return names;
}

const QStringList& startTypeNames()
{
    static const QStringList names = {tr("Foot launch"), tr("Winch tow"), tr("Aerotow")};
    return names;
}

int allowedCategoryBits(int classIndex)
{
    switch (classIndex) {
    case 0:
    case 1:
    case 4:
    case 6:
    case 8: return 1535;
    case 2: return 511;
    case 3: return 231;
    case 5: return 33;
    case 7: return 99;
    default: return 0;
    }
}

QList<Category> categoriesForClass(int classIndex)
{
    QList<Category> list;
    const int bits = allowedCategoryBits(classIndex);
    for (int i = 0; i <= 10; ++i) {
        if (bits & (1 << i))
            list.append({categoryNames().at(i), 1 << i});
    }
    return list;
}

QList<Manufacturer> manufacturerChoices(const QString& otherText)
{
    QList<Manufacturer> list = manufacturers();
    std::stable_sort(list.begin(), list.end(), [](const Manufacturer& a, const Manufacturer& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    list.append({otherText, -1});
    return list;
}

QByteArray formBody(const Form& form, const ContestFlight& flight)
{
    const QString comment = form.sendComment ? flight.notice : QString();
    QList<std::pair<QByteArray, QByteArray>> fields = {
        {"OLCvnolc", form.firstName.toUtf8()},
        {"na", form.lastName.toUtf8()},
        {"geb", form.birth.isValid() ? form.birth.toString(QStringLiteral("dd.MM.yyyy")).toUtf8() : QByteArray()},
        {"user", form.user.toUtf8()},
        {"pass", form.password.toUtf8()},
        {"klasse", QByteArray::number(form.classIndex + 1)},
        {"gliderCertCategory", QByteArray::number(form.categoryTag)},
        {"glider", form.glider.toUtf8()},
        {"startType", QByteArray::number(form.startTypeIndex + 1)},
        {"comments", comment.toUtf8()},
        // The record goes as it was imported: its security record covers these bytes.
        {"IGCigcIGC", flight.igc},
    };
    if (form.manufacturerId != -1)
        fields.append({"gliderBrandID", QByteArray::number(form.manufacturerId)});
    QByteArray body = formUrlEncoded(fields);
    scrubSecret(fields[4].second);
    return body;
}

HttpRequest submitRequest(const QUrl& baseUrl, const QByteArray& body)
{
    HttpRequest request;
    request.method = "POST";
    request.url = serviceEndpoint(baseUrl, submitPath);
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"},
                       {"Content-Length", QByteArray::number(body.size())}};
    request.body = body;
    // A flight's record with the server's page building behind it: longer than a look-up.
    request.timeoutMs = 60000;
    return request;
}

SubmissionOutcome submit(HttpClient& http, const QUrl& baseUrl, const Form& form, const QList<ContestFlight>& flights,
                         const std::atomic<bool>* cancel, const std::function<void(int)>& progress,
                         const std::function<void(const ContestFlight&, const QString&)>& sent)
{
    SubmissionOutcome outcome;
    int begun = 0;
    QString lastAnswer;
    for (const ContestFlight& flight : flights) {
        if (cancel && cancel->load()) {
            outcome.cancelled = true;
            break;
        }
        ++begun;
        if (progress)
            progress(begun);
        HttpRequest request = submitRequest(baseUrl, formBody(form, flight));
        const HttpResponse response = http.send(request);
        scrubSecret(request.body);
        if (!response.error.isEmpty()) {
            outcome.message = tr("Can't connect to DHV-XC: %1").arg(response.error);
            return outcome;
        }
        if (response.status >= 400) {
            outcome.message = tr("DHV-XC refused the flight (HTTP status %1).").arg(response.status);
            const QString page = answerSummary(response.body);
            if (!page.isEmpty())
                outcome.message += QLatin1Char('\n') + page;
            return outcome;
        }
        lastAnswer = QString::fromUtf8(response.body);
        if (sent)
            sent(flight, answerSummary(response.body));
    }
    outcome.success = !outcome.cancelled || begun > 0;
    if (flights.size() == 1 && begun == 1) {
        outcome.message = lastAnswer;
        outcome.messageIsHtml = true;
    }
    return outcome;
}

} // namespace dhvxc
} // namespace kalvora
