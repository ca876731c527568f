// Fuzzes what the online waypoint database answers: the download XML, read
// record by record, and the upload answer.
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "model/waypointdata.h"
#include "waypoints/waypointsyncprotocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvora;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    qsizetype fields = 0;
    (void)parseDownload(bytes, [&fields](const WaypointData& record) {
        fields += record.name.size() + record.latitude.size() + record.longitude.size();
    });
    (void)parseUploadAnswer(bytes);
    return fields < 0 ? -1 : 0;
}
