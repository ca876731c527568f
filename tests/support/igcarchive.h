#pragma once

// A pilot's archive made up for tests: short recordings from a few sites in a
// tree of folders, with copies of some recordings under other names.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace kalvora::test {

/** Where the made-up sites lie [thousandths of a minute], far enough apart to be told apart. */
struct ArchiveSite
{
    int latitudeMilliMinutes;
    int longitudeMilliMinutes;
};

inline ArchiveSite archiveSite(int site)
{
    // 47°N 11°E and then a degree further north-east for each site.
    return {47 * 60000 + site * 60000, 11 * 60000 + site * 60000};
}

/**
 * Recording INDEX from SITE: on its own day (so no two overlap), five fixes on
 * the ground, out north and back at 36 km/h (one fix every 10 s, 100 m apart)
 * for OUTFIXES fixes each way, and five fixes on the ground 500 m north of
 * the start: the analysis finds the take-off some fixes into the climb, so
 * take-off and landing lie within about 100 m of each other.
 */
inline QByteArray archiveIGC(int site, int index, int outFixes = 60)
{
    const ArchiveSite place = archiveSite(site);
    const int day = 1 + index % 28;
    const int month = 1 + index / 28 % 12;
    const int year = 10 + index / (28 * 12);
    QByteArray text = QStringLiteral("AXXX%1\r\nHFDTE%2%3%4\r\nHFGTYGLIDERTYPE:Test\r\n")
                          .arg(index, 3, 10, QLatin1Char('0'))
                          .arg(day, 2, 10, QLatin1Char('0'))
                          .arg(month, 2, 10, QLatin1Char('0'))
                          .arg(year % 100, 2, 10, QLatin1Char('0'))
                          .toLatin1();
    // The hour differs too, so that two sites' recordings differ in every line.
    int t = 9 * 3600 + site * 600;
    const auto fix = [&](int northSteps, int altitude) {
        // 54 thousandths of a minute of latitude are 100 m.
        const int lat = place.latitudeMilliMinutes + northSteps * 54;
        text += QString::asprintf("B%02d%02d%02d%02d%05dN%03d%05dEA%05d%05d\r\n", t / 3600, t % 3600 / 60, t % 60,
                                  lat / 60000, lat % 60000, place.longitudeMilliMinutes / 60000,
                                  place.longitudeMilliMinutes % 60000, altitude, altitude)
                    .toLatin1();
        t += 10;
    };
    for (int i = 0; i < 5; ++i)
        fix(0, 1000);
    for (int i = 1; i <= outFixes; ++i)
        fix(i, 1000 + i * 5);
    for (int i = outFixes - 1; i >= 5; --i)
        fix(i, 1000 + i * 5);
    for (int i = 0; i < 5; ++i)
        fix(5, 1000);
    return text;
}

/** What makeArchive() wrote. */
struct Archive
{
    QStringList recordings; ///< every distinct recording, once
    QStringList copies;     ///< files whose bytes equal one of the recordings
    int sites = 0;
    [[nodiscard]] int files() const { return int(recordings.size() + copies.size()); }
};

/**
 * Writes COUNT recordings from SITES sites into ROOT as "YEAR/site-N/...",
 * with extensions in mixed letter case, and a copy of every COPYEVERY-th
 * recording under another name in "copies/sub".
 */
inline Archive makeArchive(const QString& root, int count, int sites, int copyEvery)
{
    Archive archive;
    archive.sites = sites;
    static const char* const extensions[] = {"igc", "IGC", "Igc"};
    for (int i = 0; i < count; ++i) {
        const int site = i % sites;
        const QString folder = QStringLiteral("%1/%2/site-%3").arg(root).arg(2010 + i / 100).arg(site);
        QDir().mkpath(folder);
        const QString path =
            QStringLiteral("%1/flight-%2.%3").arg(folder).arg(i, 4, 10, QLatin1Char('0')).arg(extensions[i % 3]);
        const QByteArray bytes = archiveIGC(site, i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(bytes);
        archive.recordings.append(path);
        if (copyEvery > 0 && i % copyEvery == 0) {
            const QString copyFolder = root + QStringLiteral("/copies/sub");
            QDir().mkpath(copyFolder);
            QFile copy(QStringLiteral("%1/renamed-%2.igc").arg(copyFolder).arg(i));
            if (!copy.open(QIODevice::WriteOnly))
                return {};
            copy.write(bytes);
            archive.copies.append(copy.fileName());
        }
    }
    // Not recordings: must be left alone.
    QFile notes(root + QStringLiteral("/notes.txt"));
    if (notes.open(QIODevice::WriteOnly))
        notes.write("not a flight\n");
    return archive;
}

/** A reverse-geocoding answer naming the site whose latitude LATITUDE [deg] is near. */
inline QByteArray archiveReverseAnswer(double latitude)
{
    const int site = int(latitude + 0.5) - 47;
    return QStringLiteral("<reversegeocode><addressparts><city>Site %1</city><state>Region</state>"
                          "<country>Austria</country><country_code>at</country_code></addressparts>"
                          "</reversegeocode>")
        .arg(site)
        .toUtf8();
}

} // namespace kalvora::test
