#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

#include "contests/contestservice.h"
#include "track/result.h"

namespace kalvora {

class HttpClient;
struct HttpRequest;
struct HttpResponse;

namespace xcontest {

/** The keyring service of the XContest log-in. */
inline constexpr const char* credentialService = "XC";
inline constexpr const char* ticketPath = "/api/gate/ticket/";
inline constexpr const char* requestPath = "/api/gate/request/";

// Remembered answers (preferences).
inline constexpr const char* keyGliderClass = "XCGliderClass";
inline constexpr const char* keyGliderCategory = "XCGliderCategory";
inline constexpr const char* keyGliderModel = "XCGliderModel";
inline constexpr const char* keyDoNotSubmitComment = "XCDoNotSubmitComment";
inline constexpr const char* keyActivateDirectly = "XCActivateDirectly";

/** The glider classes and categories offered, in the order of their codes' positions. */
const QStringList& classNames();
const QStringList& categoryNames();
/** The gate's class code of the class at INDEX ("3", "1", "5", "2", "11", "12"); empty outside 0 to 5. */
QString classCode(int index);
/** The gate's category code of the category at INDEX ("A", "B", "C", "D", "Z", "T"); empty outside 0 to 5. */
QString categoryCode(int index);

/** SHA-1 of the UTF-8 bytes of TEXT as 40 lower-case hexadecimal digits. */
QString sha1Hex(const QString& text);
/** MD5 of BYTES as 32 lower-case hexadecimal digits. */
QString md5Hex(const QByteArray& bytes);
/** TEXT with every byte of its UTF-8 form but letters, digits and "-._~" written as "%XX". */
QString urlEncode(const QString& text);

/** The ticket request: GET below BASEURL with the key and SHA-1(key + secret). */
[[nodiscard]] HttpRequest ticketRequest(const QUrl& baseUrl, const QString& apiKey, const QString& apiSecret);
/** The ticket in the gate's answer, or the message to show: only a 2xx JSON answer without error counts. */
[[nodiscard]] Result<QString> ticketFromAnswer(const HttpResponse& response);
/** The upload address for TICKET. */
[[nodiscard]] QUrl uploadUrl(const QUrl& baseUrl, const QString& apiKey, const QString& apiSecret, const QString& ticket);
/** SHA-1(MD5(lower-case password) + ticket + key + secret). */
[[nodiscard]] QString loginHash(const QString& password, const QString& ticket, const QString& apiKey,
                                const QString& apiSecret);

/**
 * The error message in a decoded answer: a list gives the first of its
 * elements'; a map with "error" gives "error" → "message"; else one with
 * "errors" gives "messages" → first → "label"; else the first found in its
 * map and list values. An error without a usable message gives an empty
 * text; nullopt means no error at all.
 */
[[nodiscard]] std::optional<QString> errorFromJson(const QJsonValue& value);

/** What the sheet or the command line asked for besides the flight. */
struct Form
{
    QString user;
    QString password;
    int classIndex = 0;
    int categoryIndex = 0;
    QString gliderName;
    QString takeoffName;
    bool sendComment = true;
    bool activate = true;
};

/** The flight's form values in the gate's order, each URL-encoded ("country" and "comment" only when present). */
[[nodiscard]] QList<std::pair<QString, QString>> flightValues(const Form& form, const ContestFlight& flight);

/**
 * The name the record is uploaded under: its short IGC name when it has a
 * security record, else "YYYY-MM-DD-XXX-000-01.igc" of its take-off date
 * ("flight.igc" without one). Never empty.
 */
[[nodiscard]] QString uploadFileName(const ContestFlight& flight);

/** A multipart/form-data body and the boundary that frames it. */
struct Multipart
{
    QByteArray boundary;
    QByteArray body;
    /** "multipart/form-data; boundary=\"…\"" */
    QByteArray contentType() const;
};

/**
 * The upload body: the log-in, the record under its file name (its stored
 * bytes, unchanged) and the flight values, ended by the closing boundary.
 * The boundary occurs nowhere in the parts.
 */
[[nodiscard]] Multipart uploadBody(const Form& form, const ContestFlight& flight, const QString& ticket,
                                   const QString& apiKey, const QString& apiSecret);

/**
 * Asks for a ticket and uploads FLIGHT, unless CANCEL is set before the
 * first request. Success only for a 2xx JSON answer without error; the link
 * of the flight is taken from the answer when it names one. Blocking; any
 * thread but the GUI thread.
 */
[[nodiscard]] SubmissionOutcome submit(HttpClient& http, const QUrl& baseUrl, const QString& apiKey,
                                       const QString& apiSecret, const Form& form, const ContestFlight& flight,
                                       const std::atomic<bool>* cancel = nullptr,
                                       const std::function<void(int begun)>& progress = {});

} // namespace xcontest
} // namespace kalvora
