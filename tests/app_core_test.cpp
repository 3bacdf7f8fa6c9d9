#include <gtest/gtest.h>

#include <vector>

#include "app/byte_count_text.h"
#include "app/dialog_placement.h"
#include "app/program_version.h"
#include "app/pump_wait.h"
#include "app/ui_texts.h"

namespace tessaly {
namespace {

TEST(ProgramVersion, MinorIsPaddedToTwoDigits) {
    EXPECT_EQ(programVersionString(1, 8), "Ver1.08");
    EXPECT_EQ(programVersionString(2, 123), "Ver2.123");
    EXPECT_EQ(programVersionString(65535, 65535), "Ver65535.65535");
    EXPECT_EQ(programVersionString(), "Ver1.08");
}

TEST(ByteCountText, ShortAtEveryScaleAndNeverAThousandOfAUnit) {
    EXPECT_EQ(byteCountText(0), "0 B");
    EXPECT_EQ(byteCountText(999), "999 B");
    EXPECT_EQ(byteCountText(1000), "1.0 kB");
    EXPECT_EQ(byteCountText(4194304), "4.2 MB");
    EXPECT_EQ(byteCountText(999949), "999.9 kB");
    EXPECT_EQ(byteCountText(999950), "1.0 MB") << "not 1000.0 kB";
    EXPECT_EQ(byteCountText(5274196104), "5.3 GB");
    EXPECT_EQ(byteCountText(UINT64_MAX), "18446744.1 TB");
}

TEST(UiTexts, JapaneseOnlyForJapaneseInJapan) {
    EXPECT_EQ(uiLanguageForLocale("ja_JP"), UiLanguage::Japanese);
    EXPECT_EQ(uiLanguageForLocale("ja_JP.UTF-8"), UiLanguage::Japanese);
    EXPECT_EQ(uiLanguageForLocale("ja_JP@calendar=japanese"), UiLanguage::Japanese);
    for (const char* other : {"en_US", "C", "", "ja", "ja_JPX", "en_JP", "de_DE.UTF-8"}) {
        EXPECT_EQ(uiLanguageForLocale(other), UiLanguage::English) << other;
    }
}

TEST(UiTexts, BothLanguagesHaveEveryRow) {
    EXPECT_EQ(uiText(UiText::SamePort, UiLanguage::English), "Input and output \"Port\" are the same");
    EXPECT_EQ(uiText(UiText::WrongChecksum, UiLanguage::English),
              "Mistaking the check-sum value\r\n\r\nCorrect value=");
    EXPECT_EQ(uiText(UiText::CommandInvalid, UiLanguage::Japanese), "コマンドが不正です");
    EXPECT_EQ(uiText(UiText::HintStopLog, UiLanguage::Japanese), "CSVファイルの保存を停止する");
    for (int row = 1; row <= 13; ++row) {
        const auto text = static_cast<UiText>(row);
        EXPECT_NE(uiText(text, UiLanguage::English), uiText(text, UiLanguage::Japanese)) << row;
    }
}

TEST(DialogPlacement, CentredOnTheOwnerThenKeptInTheWorkArea) {
    const ScreenRect work{0, 0, 1920, 1040};
    // Centred; the halves truncate toward zero.
    EXPECT_EQ(centredDialogPosition({100, 100, 601, 501}, 300, 101, work), (ScreenPoint{200, 250}));
    // Window partly off the left and top of the screen: pushed in.
    EXPECT_EQ(centredDialogPosition({-400, -300, 82, 91}, 300, 100, work), (ScreenPoint{0, 0}));
    // Window off the bottom right.
    EXPECT_EQ(centredDialogPosition({1800, 1000, 2282, 1391}, 300, 100, work), (ScreenPoint{1620, 940}));
    // Negative halves truncate toward zero too: a dialog wider than its owner.
    EXPECT_EQ(centredDialogPosition({500, 500, 600, 600}, 301, 301, work), (ScreenPoint{400, 400}));
    // Larger than the work area: its bottom and right edges end on the work area's.
    EXPECT_EQ(centredDialogPosition({0, 0, 100, 100}, 2000, 1200, work), (ScreenPoint{-80, -160}));
    // A second monitor to the right.
    EXPECT_EQ(centredDialogPosition({1900, 100, 2382, 491}, 300, 100, {1920, 0, 3840, 1080}),
              (ScreenPoint{1991, 245}));
}

class FakeClock final : public MillisecondClock {
public:
    explicit FakeClock(std::uint32_t start) : now(start) {}
    std::uint32_t nowMs() const override { return now; }
    std::uint32_t now;
};

// Lets the fake clock run as far as the wait asks to sleep, at most `step` at a time.
class FakeWaiter final : public EventWaiter {
public:
    FakeWaiter(FakeClock& clock, std::uint32_t step) : clock_(clock), step_(step) {}
    void processEventsFor(std::uint32_t maxMs) override {
        ++rounds;
        clock_.now += std::min(maxMs, step_);
    }
    int rounds = 0;

private:
    FakeClock& clock_;
    std::uint32_t step_;
};

struct WaitCase {
    const char* name;
    std::uint32_t start;
    std::int32_t duration;
    std::uint32_t expectedEnd;
};

TEST(MessagePumpWait, EndsOnTimeAcrossBothWrapArounds) {
    const WaitCase cases[] = {
        {"plain", 5000, 1000, 6000},
        {"648 ms before 2^31", 0x80000000u - 648, 1000, 0x80000000u + 352},
        {"296 ms before 2^32", 0u - 296, 1000, 704},
        {"across 2^31 to exactly 0 past it", 0x80000000u - 200, 200, 0x80000000u},
        {"zero", 1234, 0, 1234},
    };
    for (std::uint32_t step : {1u, 7u, 1000u}) {
        for (const WaitCase& c : cases) {
            FakeClock clock(c.start);
            FakeWaiter waiter(clock, step);
            messagePumpWait(c.duration, clock, waiter);
            EXPECT_EQ(clock.now, c.expectedEnd) << c.name << ", step " << step;
        }
    }
}

TEST(MessagePumpWait, SleepsInsteadOfSpinning) {
    FakeClock clock(100);
    FakeWaiter waiter(clock, 0xFFFFFFFFu);
    messagePumpWait(1000, clock, waiter);
    EXPECT_EQ(waiter.rounds, 1) << "one sleep to the deadline when no event comes";
    EXPECT_EQ(clock.now, 1100u);
}

TEST(MessagePumpWait, DeadlineReadsTheClockAsSigned) {
    PumpWaitDeadline deadline(0x80000000u - 648, 1000);
    EXPECT_FALSE(deadline.reached(0x7FFFFFFFu));
    EXPECT_FALSE(deadline.reached(0x80000000u)) << "passing 2^31 is not the end";
    EXPECT_FALSE(deadline.reached(0x80000000u + 351));
    EXPECT_TRUE(deadline.reached(0x80000000u + 352));
    EXPECT_EQ(PumpWaitDeadline(0x80000000u - 648, 1000).remainingMs(0x80000000u - 648), 1000u);
}

}  // namespace
}  // namespace tessaly
