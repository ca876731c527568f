#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "instruments/gpsdevice.h"

namespace kalvora {

/**
 * Asks the user to confirm the folder of a found Skytraxx volume. The desktop
 * shows a folder chooser titled "Choose SkyTraxx directory..." with the prompt
 * "Choose", starting at the volume; the command line confirms without asking.
 * Called on the thread that runs the scan (the GUI thread).
 */
class SkytraxxConfirmation
{
public:
    virtual ~SkytraxxConfirmation() = default;
    /** True when the user accepts VOLUME as the instrument. */
    virtual bool confirm(const std::filesystem::path& volume) = 0;
};

/**
 * A Skytraxx instrument, reached as a mounted volume whose location contains
 * "SKYTRAXX". Its tracks are the IGC files under the volume's "FLIGHTS" folder
 * (also in sub-folders); each carries its text already, so a download reads nothing.
 */
class Skytraxx final : public GpsDevice
{
    Q_OBJECT

public:
    /** The volume found at VOLUME; the caller has already had it confirmed. */
    explicit Skytraxx(std::filesystem::path volume, QObject* parent = nullptr);
    ~Skytraxx() override;

    /**
     * The usual Linux mount roots: "/media/$USER", "/run/media/$USER", "/mnt",
     * or the ':'-separated folders of the environment variable KALVORA_MOUNT_ROOTS
     * when it is set.
     */
    [[nodiscard]] static std::vector<std::filesystem::path> mountRoots();

    /**
     * The volumes mounted under ROOTS (each root's visible sub-folders, in name
     * order, root after root); the first whose absolute path contains "SKYTRAXX".
     * nullopt when there is none.
     */
    [[nodiscard]] static std::optional<std::filesystem::path>
    findVolume(const std::vector<std::filesystem::path>& roots);

    /**
     * Finds a volume under ROOTS and asks CONFIRMATION (null: the process-wide one
     * set by setConfirmation(), or none, which confirms).
     * @return nullptr when no volume is mounted or the user declines.
     */
    [[nodiscard]] static std::unique_ptr<GpsDevice> open(const std::vector<std::filesystem::path>& roots,
                                                         SkytraxxConfirmation* confirmation = nullptr);

    /** The scan's entry: open(mountRoots()) with the process-wide confirmation. */
    [[nodiscard]] static std::unique_ptr<GpsDevice> openMounted();

    /** The confirmation the scan uses (not owned; null confirms without asking). GUI thread. */
    static void setConfirmation(SkytraxxConfirmation* confirmation);

    [[nodiscard]] std::string driverId() const override { return "skytraxx"; }
    [[nodiscard]] std::string portPath() const override { return m_volume.string(); }
    [[nodiscard]] bool has(DeviceOperation operation) const override;

    /**
     * Every IGC file under "FLIGHTS", depth first in name order, hidden entries
     * skipped; files that are not readable IGC records are left out. Numbered from 1.
     */
    [[nodiscard]] std::vector<Track> tracks() override;
    /** True when TRACK already holds its text (it does after the list was read). */
    [[nodiscard]] bool igcTrack(Track& track) override;

private:
    std::filesystem::path m_volume;
};

} // namespace kalvora
