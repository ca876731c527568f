#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "instruments/gpsdevice.h"
#include "instruments/serialexchange.h"
#include "instruments/seriallink.h"

namespace kalvora {

/**
 * A driver on a serial line: owns the link, remembers the device path, and runs
 * every command under its recursive command lock so commands from the worker and
 * from the GUI thread never interleave on the line. The cancel flag is the link's.
 */
class SerialGpsDevice : public GpsDevice
{
    Q_OBJECT

public:
    SerialGpsDevice(std::unique_ptr<SerialLink> link, std::string pathName, QObject* parent = nullptr);
    ~SerialGpsDevice() override;

    [[nodiscard]] std::string portPath() const override { return m_pathName; }
    void cancelAction() override;
    [[nodiscard]] bool canceled() const override;

    [[nodiscard]] SerialLink& link() { return *m_link; }

protected:
    void clearCanceled() override;

    /** One command exchange (reopens the line per OPTIONS) under the command lock. */
    [[nodiscard]] std::optional<std::string> serialCommand(std::string_view command, const ExchangeOptions& options);

    /** The command lock; hold it around a series of commands that must not be split. */
    std::recursive_mutex& commandLock() { return m_commandLock; }

    /** Closes the line under the command lock. */
    void closeLine();

private:
    std::unique_ptr<SerialLink> m_link;
    std::string m_pathName;
    std::recursive_mutex m_commandLock;
};

} // namespace kalvora
