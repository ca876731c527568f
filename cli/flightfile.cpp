#include "cli/flightfile.h"

#include <algorithm>
#include <string_view>

#include "cli/command.h"
#include "services/boundedfile.h"
#include "track/igc.h"
#include "track/igcpoint.h"

namespace kalvora::cli {

namespace {

std::string_view view(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

std::optional<QByteArray> readIGCFile(const QString& path)
{
    Result<QByteArray> bytes = readRegularFile(path, maxIGCFileBytes);
    if (!bytes) {
        printError(QStringLiteral("%1: cannot read the file: %2").arg(path, QString::fromStdString(bytes.error())));
        return std::nullopt;
    }
    return std::move(*bytes);
}

bool isIGCRecord(const QByteArray& bytes)
{
    const bool text = std::none_of(bytes.cbegin(), bytes.cend(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\r' && c != '\n' && c != '\t') || u == 0x7F;
    });
    if (!text)
        return false;
    bool date = false;
    bool fix = false;
    for (const std::string_view line : IGC::getICGLines(view(bytes))) {
        date = date || IGC::dateFromHeaderLine(line).has_value();
        fix = fix || IGCPoint::igcPointWithIGCLine(line).has_value();
        if (date && fix)
            return true;
    }
    return false;
}

std::optional<IGCFlight> readAnalysedFlight(const QString& path)
{
    const std::optional<QByteArray> bytes = readIGCFile(path);
    if (!bytes)
        return std::nullopt;
    std::optional<IGCFlight> flight = IGCFlight::flightFromIGC(view(*bytes), 0, true);
    if (!flight)
        printError(QStringLiteral("%1: no flight found: the file holds no usable fixes").arg(path));
    return flight;
}

} // namespace kalvora::cli
