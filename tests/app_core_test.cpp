#include <gtest/gtest.h>

#include <vector>

#include "app/byte_count_text.h"
#include "app/dialog_placement.h"
#include "station/program_version.h"
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

}  // namespace
}  // namespace tessaly
