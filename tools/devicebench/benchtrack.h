#pragma once

#include <cstdio>
#include <string>

namespace kalvora::bench {

/**
 * An IGC record of FIXES one-second fixes (a slow climb to the north-east),
 * with header and closing G record as instruments write them.
 */
inline std::string syntheticIgc(int fixes)
{
    std::string text = "AXBR001 BENCH\r\nHFDTE150719\r\nHFPLTPILOTINCHARGE:Bench Pilot\r\nHFGTYGLIDERTYPE:Bench\r\n";
    char line[64];
    for (int i = 0; i < fixes; ++i) {
        const int t = 10 * 3600 + i;
        const int latMilli = 15000 + i % 40000;
        const int lonMilli = 30000 + i % 50000;
        const int alt = 1000 + i % 2000;
        std::snprintf(line, sizeof line, "B%02d%02d%02d47%05dN008%05dEA%05d%05d\r\n", t / 3600 % 24, t / 60 % 60,
                      t % 60, latMilli, lonMilli, alt, alt + 20);
        text += line;
    }
    text += "G0123456789ABCDEF0123456789ABCDEF\r\n";
    return text;
}

/** Seconds a serial line of BAUD needs for BYTES (11 bit times each: start, 8 data, 2 stop). */
inline double lineSeconds(double bytes, int baud)
{
    return bytes * 11.0 / baud;
}

} // namespace kalvora::bench
