#include "position/position.h"

#include <gtest/gtest.h>

#include <cmath>

#include "gpsd/gpsd_client.h"

namespace fenwyd {
namespace {

constexpr int64_t kT = 1712404800000;  // 2024-04-06T12:00:00Z

Position Fix(FixMode mode, double lat = 52.2053, double lon = -1.51) {
    Position p;
    p.latitude = lat;
    p.longitude = lon;
    p.fix = mode;
    p.receivedUtcMs = kT;
    return p;
}

TEST(Position, CountsForAReadingOnlyWithAFixNoMoreThanFiveSecondsAway) {
    for (const auto& [readingAt, counts] : {std::pair{kT, true},
                                            {kT + 5000, true},
                                            {kT + 5001, false},
                                            {kT - 5000, true},
                                            {kT - 5001, false},
                                            {kT + 3600000, false}}) {
        EXPECT_EQ(PositionForReading(Fix(FixMode::ThreeD), readingAt).has_value(), counts)
            << "reading " << readingAt - kT << " ms after the fix";
    }
    EXPECT_TRUE(PositionForReading(Fix(FixMode::TwoD), kT));
    EXPECT_FALSE(PositionForReading(Fix(FixMode::None), kT)) << "no fix";
    EXPECT_FALSE(PositionForReading(std::nullopt, kT));
    for (const auto& [lat, lon] :
         {std::pair{NAN, 0.0}, {0.0, INFINITY}, {90.5, 0.0}, {0.0, -181.0}}) {
        EXPECT_FALSE(PositionForReading(Fix(FixMode::ThreeD, lat, lon), kT)) << lat << " " << lon;
    }
}

TEST(Position, StateAndStatusBarText) {
    const auto text = [](bool talking, const std::optional<Position>& p, int64_t now) {
        return std::string(GpsStatusText(StateFor(talking, p, now)));
    };
    EXPECT_STREQ(GpsStatusText(GpsState::Off), "GPS off");
    EXPECT_EQ(text(false, Fix(FixMode::ThreeD), kT), "GPS waiting for gpsd");
    EXPECT_EQ(text(true, std::nullopt, kT), "GPS no fix");
    EXPECT_EQ(text(true, Fix(FixMode::None), kT), "GPS no fix");
    EXPECT_EQ(text(true, Fix(FixMode::TwoD), kT + 5000), "GPS 2D fix");
    EXPECT_EQ(text(true, Fix(FixMode::ThreeD), kT + 5000), "GPS 3D fix");
    EXPECT_EQ(text(true, Fix(FixMode::ThreeD), kT + 5001), "GPS no fix") << "a stale fix";
}

TEST(GpsdAddress, HostAndPortOrAClearReason) {
    const struct {
        const char* text;
        const char* host;  // nullptr: refused
        uint16_t port;
    } cases[] = {
        {"localhost", "localhost", 2947},
        {" gps.example.org:3000 ", "gps.example.org", 3000},
        {"10.0.0.2:65535", "10.0.0.2", 65535},
        {"[::1]:2950", "::1", 2950},
        {"[fe80::1%eth0]", "fe80::1%eth0", 2947},
        {"::1", "::1", 2947},
        {"", nullptr, 0},
        {"host:", nullptr, 0},
        {"host:0", nullptr, 0},
        {"host:65536", nullptr, 0},
        {"host:29x", nullptr, 0},
        {":2947", nullptr, 0},
        {"[::1", nullptr, 0},
        {"[::1]2947", nullptr, 0},
        {"shared memory", nullptr, 0},
        {"a/b:1", nullptr, 0},
    };
    for (const auto& c : cases) {
        GpsdAddress a{"untouched", 1};
        std::string error;
        ASSERT_EQ(ParseGpsdAddress(c.text, a, error), c.host != nullptr) << c.text << ": " << error;
        if (c.host == nullptr) {
            EXPECT_EQ(a.host, "untouched");
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(a.host, c.host);
        EXPECT_EQ(a.port, c.port);
        GpsdAddress again;
        ASSERT_TRUE(ParseGpsdAddress(GpsdAddressText(a), again, error)) << GpsdAddressText(a);
        EXPECT_EQ(again.host + ":" + std::to_string(again.port),
                  a.host + ":" + std::to_string(a.port));
    }
}

}  // namespace
}  // namespace fenwyd
