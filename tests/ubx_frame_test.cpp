#include <gtest/gtest.h>

#include "monitor/ubx_frame.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;

TEST(UbxFrame, VersionPollIsAValidEmptyFrame) {
    const Bytes poll = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34};
    EXPECT_EQ(ubxChecksum(ByteView(poll).subspan(2, 4)), (UbxChecksum{0x0E, 0x34}));
    EXPECT_TRUE(isValidUbxFrame(poll));
}

TEST(UbxFrame, ChecksumOfAReceiverCommand) {
    // Cold start: CFG-RST with a 4-byte payload.
    const Bytes body = {0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00};
    EXPECT_EQ(ubxChecksum(body), (UbxChecksum{0x10, 0x68}));
}

TEST(UbxFrame, FrameCheckRejectsEveryDamage) {
    const Bytes good = test::ubxFrame(0x01, 0x07, Bytes(92, 0x55));
    ASSERT_TRUE(isValidUbxFrame(good));

    for (std::size_t i = 2; i < good.size(); ++i) {
        Bytes damaged = good;
        damaged[i] ^= 0x01;
        EXPECT_FALSE(isValidUbxFrame(damaged)) << "flipped byte " << i;
    }
    EXPECT_FALSE(isValidUbxFrame(ByteView(good).first(good.size() - 1))) << "one byte short";
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(isValidUbxFrame(longer)) << "one byte beyond the checksum";
    EXPECT_FALSE(isValidUbxFrame(ByteView(good).first(7))) << "shorter than any frame";
    EXPECT_FALSE(isValidUbxFrame(ByteView()));
}

TEST(UbxFrame, SyncBytesAreNotExaminedAgain) {
    Bytes frame = test::ubxFrame(0x01, 0x07, Bytes(4, 1));
    frame[0] = 0x00;
    frame[1] = 0x00;
    EXPECT_TRUE(isValidUbxFrame(frame));
}

TEST(UbxFrame, FirmwareTextIsTheFwverFieldUpToItsNul) {
    Bytes payload(40, 0);
    const std::string sw = "EXT CORE 1.00";
    std::copy(sw.begin(), sw.end(), payload.begin());
    Bytes ext(30, 0);
    const std::string fw = "FWVER=QZS 1.01";
    std::copy(fw.begin(), fw.end(), ext.begin());
    payload.insert(payload.end(), ext.begin(), ext.end());
    EXPECT_EQ(ubxFirmwareText(test::ubxFrame(0x0A, 0x04, payload)), "FWVER=QZS 1.01");
}

TEST(UbxFrame, FirmwareTextEndsWithTheFrameOrAfterThirtyBytes) {
    // No NUL within the field: the text is 30 bytes long.
    Bytes payload = test::bytesOf("FWVER=" + std::string(40, 'X'));
    EXPECT_EQ(ubxFirmwareText(test::ubxFrame(0x0A, 0x04, payload)), "FWVER=" + std::string(24, 'X'));
    // Near the end of the frame: the text runs into the checksum bytes and stops there.
    const Bytes frame = test::ubxFrame(0x0A, 0x04, test::bytesOf("FWVER=A"));
    const auto text = ubxFirmwareText(frame);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->substr(0, 7), "FWVER=A");
    EXPECT_LE(text->size(), 9u);
}

TEST(UbxFrame, NoFirmwareTextWithoutMarker) {
    EXPECT_FALSE(ubxFirmwareText(test::ubxFrame(0x0A, 0x04, test::bytesOf("FWVER:1 PROTVER=27"))));
    EXPECT_FALSE(ubxFirmwareText(Bytes{0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34}));
}

}  // namespace
}  // namespace tessaly
