#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "instruments/devices.h"
#include "instruments/skytraxx/skytraxx.h"
#include "simsupport.h"

using namespace kalvora;
namespace fs = std::filesystem;

namespace {

/** A fake volume tree: ROOT/media/pilot/<volumes>, written by the test. */
struct FakeMounts
{
    FakeMounts() : root(fs::path(dir.path().toStdString()) / "media" / "pilot")
    {
        fs::create_directories(root);
    }

    fs::path volume(const std::string& name)
    {
        const fs::path p = root / name;
        fs::create_directories(p);
        return p;
    }
    static void write(const fs::path& file, const std::string& text)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }

    QTemporaryDir dir;
    fs::path root;
};

struct Answer final : SkytraxxConfirmation
{
    explicit Answer(bool yes) : yes(yes) {}
    bool confirm(const fs::path& volume) override
    {
        asked = volume;
        return yes;
    }
    bool yes;
    fs::path asked;
};

} // namespace

TEST(SkytraxxVolume, TheFirstVolumeNamedSkytraxxIsUsedOnceConfirmed)
{
    FakeMounts m;
    m.volume("USBSTICK");
    const fs::path sky = m.volume("SKYTRAXX");
    Answer yes(true);
    const auto device = Skytraxx::open({m.dir.path().toStdString() + "/elsewhere", m.root}, &yes);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(yes.asked, sky);
    EXPECT_EQ(device->name(), "Skytraxx");
    EXPECT_EQ(device->driverId(), "skytraxx");
    EXPECT_TRUE(device->has(DeviceOperation::TrackList));
    EXPECT_FALSE(device->has(DeviceOperation::WaypointList));

    Answer no(false);
    EXPECT_EQ(Skytraxx::open({m.root}, &no), nullptr);
    EXPECT_FALSE(no.asked.empty());
}

TEST(SkytraxxVolume, NothingWithoutSuchAVolume)
{
    FakeMounts m;
    m.volume("USBSTICK");
    m.volume(".SKYTRAXX-hidden");
    Answer yes(true);
    EXPECT_EQ(Skytraxx::open({m.root, "/nonexistent-root"}, &yes), nullptr);
    EXPECT_TRUE(yes.asked.empty());
    EXPECT_EQ(Skytraxx::open({}, &yes), nullptr);
}

TEST(SkytraxxTracks, EveryIgcFileUnderFlightsInSubFolders)
{
    FakeMounts m;
    const fs::path sky = m.volume("SKYTRAXX 2.1");
    const std::string a = test::syntheticIgc("010725", 60);
    const std::string b = test::syntheticIgc("020725", 90, 43200);
    FakeMounts::write(sky / "FLIGHTS" / "2025" / "07" / "a.igc", a);
    FakeMounts::write(sky / "FLIGHTS" / "b.igc", b);
    FakeMounts::write(sky / "FLIGHTS" / ".hidden.igc", a);
    FakeMounts::write(sky / "FLIGHTS" / "notes.txt", "no flight here\n");
    FakeMounts::write(sky / "FLIGHTS" / "single-fix.igc", test::syntheticIgc("030725", 1));
    FakeMounts::write(sky / "OTHER" / "c.igc", a);

    Answer yes(true);
    auto device = Skytraxx::open({m.root}, &yes);
    ASSERT_NE(device, nullptr);
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].igcData, a); // "2025" sorts before "b.igc"
    EXPECT_EQ(tracks[0].trackNumber, 1);
    EXPECT_EQ(tracks[0].flightTime, 59);
    EXPECT_EQ(tracks[1].igcData, b);
    EXPECT_EQ(tracks[1].trackNumber, 2);
    EXPECT_EQ(utcTimeString(tracks[1]), "12:00:00");
    EXPECT_TRUE(device->igcTrack(tracks[1]));

    Track empty;
    EXPECT_FALSE(device->igcTrack(empty));
}

TEST(SkytraxxTracks, AVolumeWithoutFlightsListsNothing)
{
    FakeMounts m;
    m.volume("SKYTRAXX");
    Answer yes(true);
    auto device = Skytraxx::open({m.root}, &yes);
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->tracks().empty());
}

TEST(SkytraxxScan, MountRootsComeFromTheEnvironmentAndTheVolumeIsTriedFirst)
{
    FakeMounts m;
    m.volume("SKYTRAXX");
    const std::string roots = "/nonexistent-a:" + m.root.string();
    ASSERT_EQ(setenv("KALVORA_MOUNT_ROOTS", roots.c_str(), 1), 0);
    EXPECT_EQ(Skytraxx::mountRoots(), (std::vector<fs::path>{"/nonexistent-a", m.root}));
    Answer yes(true);
    Skytraxx::setConfirmation(&yes);
    ASSERT_FALSE(volumeDrivers().empty());
    EXPECT_EQ(std::string(volumeDrivers().front().id), "skytraxx");
    const auto device = volumeDrivers().front().open();
    Skytraxx::setConfirmation(nullptr);
    unsetenv("KALVORA_MOUNT_ROOTS");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->portPath(), (m.root / "SKYTRAXX").string());
}
