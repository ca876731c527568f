// Fuzzes what instruments send back: the Flytec answer parsers and the Flymaster
// sentence parsers, packet reader, fix decoder and IGC writer. The first byte
// picks the parser; the rest is the answer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "instruments/flymaster/flymasterparser.h"
#include "instruments/flytec/flytecparser.h"

using namespace kalvora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view answer(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 6) {
    case 0:
        (void)flytec::parseTrackList(answer);
        (void)flytec::linesUntil(answer, true);
        break;
    case 1:
        for (const auto& wp : flytec::parseWaypointList(answer))
            (void)flytec::dataLine(wp.name, wp.latitudeDeg, wp.longitudeDeg, wp.altitudeM, wp.radiusM);
        break;
    case 2:
        for (int address : flytec::parameterAddresses()) {
            (void)flytec::isParameterAnswer(answer, address);
            (void)flytec::decodeParameterNumber(answer, flytec::parameterWidth(address));
        }
        (void)flytec::decodeParameterText(answer);
        (void)flytec::writeTextCommand(0, answer);
        break;
    case 3:
        (void)flymaster::identify(answer);
        (void)flymaster::parseTrackList(answer);
        break;
    case 4:
        for (const auto& wp : flymaster::parseWaypointList(answer))
            (void)flymaster::writeWaypointCommand(wp.name, wp.latitudeDeg, wp.longitudeDeg, wp.altitudeM);
        break;
    default: {
        // A download: bytes through the packet reader, blocks into fixes and IGC text.
        flymaster::PacketReader reader;
        std::vector<flymaster::Block> blocks;
        for (char c : answer) {
            const auto event = reader.add(static_cast<std::uint8_t>(c));
            if (event == flymaster::PacketReader::Event::Packet)
                blocks.push_back(reader.takeBlock());
            else if (event == flymaster::PacketReader::Event::End)
                break;
        }
        if (const auto fixes = flymaster::fixesFromBlocks(blocks))
            (void)flymaster::igcText(blocks, *fixes, static_cast<std::int64_t>(size) * 86400,
                                     "Flymaster GpsSD");
        break;
    }
    }
    return 0;
}
