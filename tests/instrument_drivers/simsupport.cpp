#include "simsupport.h"

#include <cstdio>

namespace kalvora::test {

std::string syntheticIgc(const std::string& ddmmyy, int fixes, int startSecondOfDay)
{
    std::string igc =
        "AXXX001 synthetic\r\nHFDTE" + ddmmyy + "\r\nHFPLTPILOT:Test Pilot\r\nHFGTYGLIDERTYPE:Ozone Rush\r\n";
    for (int i = 0; i < fixes; ++i) {
        const int t = (startSecondOfDay + i) % 86400;
        const int lat = 46 * 60000 + 30000 + i * 3; // thousandths of a minute
        const int lon = 7 * 60000 + 15000 + i * 2;
        const int alt = 1000 + (i < fixes / 2 ? i : fixes - i) / 2;
        char line[64];
        std::snprintf(line, sizeof line, "B%02d%02d%02d%02d%05dN%03d%05dEA%05d%05d\r\n", t / 3600,
                      t / 60 % 60, t % 60, lat / 60000, lat % 60000, lon / 60000, lon % 60000, alt, alt + 20);
        igc += line;
    }
    return igc + "G0123456789ABCDEF\r\n";
}

} // namespace kalvora::test
