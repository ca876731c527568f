#include "cli/flightfile.h"

#include <QFile>

#include <string_view>

#include "cli/command.h"

namespace kalvora::cli {

std::optional<IGCFlight> readAnalysedFlight(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("%1: cannot read the file: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    std::optional<IGCFlight> flight =
        IGCFlight::flightFromIGC(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), 0, true);
    if (!flight)
        printError(QStringLiteral("%1: no flight found: the file holds no usable fixes").arg(path));
    return flight;
}

} // namespace kalvora::cli
