#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kalvora {

/** An instant in UTC, whole seconds. */
using UtcTime = std::chrono::sys_seconds;

/**
 * One entry of an instrument's track list. Value type, plain C++ (the answer
 * parsers that fill it are Qt-free).
 */
struct Track
{
    /** Start of the track, UTC. A new record starts at the current second. */
    UtcTime utcDateTime = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    /** Duration [s]. */
    double flightTime = 2700.0;
    /** How the driver addresses the track on the instrument (meaning per family). */
    std::int64_t trackNumber = 100;
    /** The track as IGC text, filled by a download; empty before. */
    std::string igcData;

    bool operator==(const Track&) const = default;

    /** A track with these three values and no IGC text. */
    static Track withUTCDateTime(UtcTime utcDateTime, double flightTimeS, std::int64_t trackNumber)
    {
        Track t;
        t.utcDateTime = utcDateTime;
        t.flightTime = flightTimeS;
        t.trackNumber = trackNumber;
        return t;
    }
};

/** "dd.MM.yyyy" of the start, UTC. */
[[nodiscard]] std::string utcDateString(const Track& track);
/** "HH:mm:ss" of the start, UTC. */
[[nodiscard]] std::string utcTimeString(const Track& track);
/** The duration as "HH:mm:ss" of a time of day: 24 h or more wraps (90061 s shows 01:01:01). */
[[nodiscard]] std::string durationString(const Track& track);

/** "yyyy-MM-ddTHH:mm:ssZ" (ISO 8601, UTC). */
[[nodiscard]] std::string isoUtcString(UtcTime time);

/**
 * The instant of a calendar date and time of day in UTC; nullopt-free: the caller
 * checks the ranges (month 1-12, day valid for the month, h < 24, m and s < 60).
 */
[[nodiscard]] UtcTime utcTimeFromFields(int year, int month, int day, int hour, int minute, int second);

/** True when the fields name a real date and time of day. */
[[nodiscard]] bool isValidDateTime(int year, int month, int day, int hour, int minute, int second);

} // namespace kalvora
