#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

#include "services/httpclient.h"

namespace kalvora {

struct WaypointData;

/** Paths and fixed words of the online waypoint database. */
namespace waypointdb {
inline constexpr const char* downloadPath = "/klv_get_waypoints.php";
inline constexpr const char* uploadPath = "/klv_update_waypoint.php";
inline constexpr const char* settingsKey = "waypointDatabase/url";
inline constexpr const char* envVar = "KALVORA_WAYPOINTDB_URL";
inline constexpr const char* defaultUrl = "http://waypoints.kalvora.org";
inline constexpr const char* lastSyncKey = "lastWaypointSync";
/** [bytes] The largest download answer taken in: the whole database is a few megabytes. */
inline constexpr qint64 maxDownloadBytes = 16 * 1024 * 1024;
} // namespace waypointdb

/**
 * A form value for an "application/x-www-form-urlencoded" body, UTF-8 and
 * percent-encoded, so that "&", "=", "+" and "%" inside a value arrive as
 * they were typed instead of splitting the form.
 */
[[nodiscard]] QByteArray formValue(const QString& value);

/** "mac=M&login=qbxz&password=qbxz" with the machine identity (empty when there is none). */
[[nodiscard]] QByteArray credentialFields(const std::optional<QString>& machineIdentity);

/** The download body: credentials and "&lastSync=%f" of LASTSYNC [s since 1970] cut to whole seconds. */
[[nodiscard]] QByteArray downloadBody(const std::optional<QString>& machineIdentity, double lastSync);

/** The upload body: credentials, "&", then the waypoint's form fields (Waypoint::urlStringForUpload). */
[[nodiscard]] QByteArray uploadBody(const std::optional<QString>& machineIdentity,
                                    const QByteArray& waypointFields);

/** A POST of BODY to URL with the form content type and its length. */
[[nodiscard]] HttpRequest formRequest(const QUrl& url, const QByteArray& body);

/** What an upload answer says. */
struct UploadAnswer
{
    enum class Kind
    {
        Failed,
        Assigned,
        Unknown
    };
    Kind kind = Kind::Unknown;
    qint64 dbID = 0; ///< with Assigned: the identifier the database gave the waypoint
};

/**
 * Reads an upload answer: "ERROR" anywhere means failure; else "dbID="
 * followed by a decimal integer gives the identifier. Anything else (also
 * "dbID=" without digits) is Unknown, leaving the waypoint waiting.
 */
[[nodiscard]] UploadAnswer parseUploadAnswer(const QByteArray& answer);

/**
 * Parses a download answer, calling APPLY with each "waypoint" element as it
 * ends, in document order. Returns false when the XML is malformed or cut
 * short; the records handed to APPLY before the error stay handed.
 *
 * The text of a field is the character data since the previous tag, not
 * trimmed; an element with empty text leaves its field unset, and elements
 * that name no field are ignored.
 */
[[nodiscard]] bool parseDownload(const QByteArray& xml,
                                 const std::function<void(const WaypointData&)>& apply);

} // namespace kalvora
