// Which commands the window asks about before sending: judged from their bytes.
#include <gtest/gtest.h>

#include "app/app_settings.h"
#include "station/command_risk.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;

Bytes resetFrame(std::uint8_t maskLow, std::uint8_t maskHigh) {
    return test::ubxFrame(kUbxClassCfg, kUbxIdCfgRst, {maskLow, maskHigh, 0x02, 0x00});
}

// clearMask, saveMask and loadMask of the configuration command, little-endian.
Bytes configFrame(Bytes masks) { return test::ubxFrame(kUbxClassCfg, kUbxIdCfgCfg, masks); }

TEST(CommandRisk, OnlyColdStartAndDefaultConfigurationOfTheDefaultButtonsAreAsked) {
    const AppSettings defaults;
    EXPECT_EQ(commandRisk(defaults.commands[0]), CommandRisk::None) << "hot start";
    EXPECT_EQ(commandRisk(defaults.commands[1]), CommandRisk::None) << "warm start";
    EXPECT_EQ(commandRisk(defaults.commands[2]), CommandRisk::ClearsNavigationData) << "cold start";
    EXPECT_EQ(commandRisk(defaults.commands[3]), CommandRisk::ClearsConfiguration) << "default configuration";
    EXPECT_EQ(commandRisk(defaults.commands[1] + "|" + defaults.commands[3]), CommandRisk::None)
        << "a frame in the comment is never sent";
    EXPECT_EQ(commandRisk("\\B5\\62\\06\\04\\04\\00\\FF\\B9\\02\\00\\C8\\8E"), CommandRisk::None)
        << "refused for its checksum, so never sent";
    EXPECT_EQ(commandRisk("A|\\B5\\62\\06\\09\\04\\00\\00\\01\\00\\00|\\B5\\62\\06\\04\\04\\00\\02\\00\\02\\00"),
              CommandRisk::ClearsConfiguration)
        << "the gravest frame of several, each completed with its checksum";
}

TEST(CommandRisk, HandMadeFrames) {
    Bytes wrongChecksum = resetFrame(0xFF, 0xFF);
    wrongChecksum.back() ^= 0x01;
    const struct {
        const char* name;
        Bytes frame;
        CommandRisk risk;
    } cases[] = {
        {"hot start", resetFrame(0x00, 0x00), CommandRisk::None},
        {"warm start: the ephemeris only", resetFrame(0x01, 0x00), CommandRisk::None},
        {"the almanac", resetFrame(0x02, 0x00), CommandRisk::ClearsNavigationData},
        {"the high byte", resetFrame(0x00, 0x80), CommandRisk::ClearsNavigationData},
        {"cold start", resetFrame(0xFF, 0xFF), CommandRisk::ClearsNavigationData},
        {"a reset without a whole mask", test::ubxFrame(kUbxClassCfg, kUbxIdCfgRst, {0xFF}), CommandRisk::None},
        {"a wrong checksum", wrongChecksum, CommandRisk::None},
        {"another class", test::ubxFrame(kUbxClassMon, kUbxIdCfgRst, {0xFF, 0xFF, 0, 0}), CommandRisk::None},
        {"a save only", configFrame({0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}), CommandRisk::None},
        {"clearMask bit 0", configFrame({0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), CommandRisk::ClearsConfiguration},
        {"clearMask bit 24", configFrame({0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}), CommandRisk::ClearsConfiguration},
    };
    for (const auto& c : cases) EXPECT_EQ(frameRisk(c.frame), c.risk) << c.name;
}

}  // namespace
}  // namespace tessaly
