#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "instruments/seriallink.h"

namespace kalvora::test {

/**
 * A serial link that plays a script: each read pops the next chunk (an empty
 * chunk is one silent read; an exhausted script is silence). Every open, write
 * and close is recorded; openFails / writeFailsAt make the n-th call fail.
 */
class ScriptedLink final : public SerialLink
{
public:
    std::deque<std::string> reads;
    std::vector<std::string> writes;
    int opens = 0;
    int closes = 0;
    int readCalls = 0;
    bool open_ = false;
    bool openFails = false;
    int writeFailsAt = -1; ///< index of the write that fails, -1 none
    std::function<void(int readCall)> onRead;

    Result<Done> open(const std::string&) override
    {
        ++opens;
        if (openFails)
            return Result<Done>::failure("cannot open");
        open_ = true;
        return Done{};
    }
    void close() override
    {
        if (open_)
            ++closes;
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    bool write(std::string_view bytes) override
    {
        const bool fail = int(writes.size()) == writeFailsAt;
        writes.emplace_back(bytes);
        return !fail;
    }
    std::optional<std::string> read(std::size_t maxBytes, std::chrono::milliseconds) override
    {
        if (onRead)
            onRead(readCalls);
        ++readCalls;
        if (reads.empty())
            return std::string();
        std::string chunk = reads.front();
        if (chunk.size() > maxBytes) {
            reads.front() = chunk.substr(maxBytes);
            chunk.resize(maxBytes);
        } else {
            reads.pop_front();
        }
        return chunk;
    }
    bool drain() override { return true; }
    bool setBaud(int) override { return true; }
};

} // namespace kalvora::test
