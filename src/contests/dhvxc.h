#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>
#include <utility>

#include "contests/contestservice.h"

namespace kalvora {

class HttpClient;
struct HttpRequest;

namespace dhvxc {

/** The keyring service of the DHV-XC log-in. */
inline constexpr const char* credentialService = "DHV_XC";
/** The flight-submission endpoint below the server's address. */
inline constexpr const char* submitPath = "/xc/modules/leonardo/flight_submit.php";

// Remembered answers (preferences).
inline constexpr const char* keyFirstname = "OLCFirstname";
inline constexpr const char* keyLastname = "OLCLastname";
inline constexpr const char* keyBirth = "OLCBirth";
inline constexpr const char* keyGliderClass = "DHVGliderClass";
inline constexpr const char* keyGliderCategory = "DHVGliderCategory";
inline constexpr const char* keyGliderModel = "DHVGliderModel";
inline constexpr const char* keyGliderManufacturer = "DHVGliderManufacturer";
inline constexpr const char* keyStartType = "DHVStartType";
inline constexpr const char* keyDoNotSubmitComment = "DHVDoNotSubmitComment";

/** The certification categories, bit 0 first; category i is sent as 2^i. */
const QStringList& categoryNames();
/** The glider classes (indices 0 to 8), sent as index + 1. */
const QStringList& classNames();
/** The launch types, sent as index + 1. */
const QStringList& startTypeNames();
/** The bit set of categories allowed for CLASSINDEX; 0 outside 0 to 8. */
int allowedCategoryBits(int classIndex);

struct Category
{
    QString name;
    int tag = 0; ///< 2^i
    bool operator==(const Category&) const = default;
};
/** The categories offered for CLASSINDEX, in bit order. */
QList<Category> categoriesForClass(int classIndex);

struct Manufacturer
{
    QString name;
    int id = -1; ///< the server's identifier; -1 for "Other"
    bool operator==(const Manufacturer&) const = default;
};
/** The manufacturer choices: sorted by name ignoring case, then OTHERTEXT with -1. */
QList<Manufacturer> manufacturerChoices(const QString& otherText);

/** Everything the form sends besides the flight. */
struct Form
{
    QString firstName;
    QString lastName;
    QDate birth;
    QString user;
    QString password;
    int classIndex = 0;
    int categoryTag = 1;
    QString glider;
    int startTypeIndex = 0;
    bool sendComment = true;
    int manufacturerId = -1;
};

/**
 * The form body of FLIGHT: every name and value as UTF-8
 * application/x-www-form-urlencoded, the IGC record as its stored bytes.
 * Fields in the server's order; "gliderBrandID" only for a known manufacturer.
 */
[[nodiscard]] QByteArray formBody(const Form& form, const ContestFlight& flight);

/** The POST of BODY to the submission endpoint below BASEURL. */
[[nodiscard]] HttpRequest submitRequest(const QUrl& baseUrl, const QByteArray& body);

/**
 * Sends FLIGHTS one after another, stopping before the next one once CANCEL
 * is set. PROGRESS gets the number of flights begun. A flight counts as sent
 * when the server answered with a status below 400; the first failure stops
 * the run. The outcome carries the answer page when exactly one flight was
 * sent, else nothing. Blocking; any thread but the GUI thread.
 * SENT is called for each accepted flight with its answer page.
 */
[[nodiscard]] SubmissionOutcome submit(HttpClient& http, const QUrl& baseUrl, const Form& form,
                                       const QList<ContestFlight>& flights, const std::atomic<bool>* cancel = nullptr,
                                       const std::function<void(int begun)>& progress = {},
                                       const std::function<void(const ContestFlight&, const QString& answer)>& sent = {});

} // namespace dhvxc

/**
 * NAME=VALUE pairs as application/x-www-form-urlencoded: letters, digits and
 * "*-._" stand as they are, a blank becomes "+", every other byte "%XX".
 * Values are bytes, so text must be UTF-8 already.
 */
[[nodiscard]] QByteArray formUrlEncoded(const QList<std::pair<QByteArray, QByteArray>>& fields);

} // namespace kalvora
