// The live history chart on the offscreen platform: opened from its button beside "Save log",
// fed by the evaluated pairs as the window receives them, cleared with the monitor.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "app/form_chart.h"
#include "app/form_main.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

class FormChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        FormOptions options;
        options.localeName = "en_US";
        options.programPath = folder.file("tessaly-monitor");
        options.configHome = folder.file("config");
        form = std::make_unique<TFormMain>(options);
        form->show();
        QCoreApplication::processEvents();
    }
    QPushButton* chartButton() {
        return form->findChild<QPushButton*>(QStringLiteral("ButtonChart"));
    }
    void feedSeconds(const test::Bytes& stream, std::size_t bytes) {
        for (std::size_t at = 0; at < bytes; at += 1024) {
            form->inputBlockReceived(test::slice(stream, at, std::min<std::size_t>(1024, bytes - at)));
        }
    }

    test::TempFolder folder;
    std::unique_ptr<TFormMain> form;
};

TEST_F(FormChartTest, ButtonBesideSaveLogOpensOneChartWindow) {
    QPushButton* button = chartButton();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), QRect(388, 5, 22, 22));
    EXPECT_TRUE(button->isVisible());
    const QRect saveLog = form->findChild<QPushButton*>(QStringLiteral("ButtonLog"))->geometry();
    EXPECT_LT(button->geometry().right(), saveLog.left());
    EXPECT_EQ(form->formChart(), nullptr);
    button->click();
    TFormChart* chart = form->formChart();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());
    EXPECT_TRUE(chart->isWindow());
    chart->close();
    button->click();
    EXPECT_EQ(form->formChart(), chart);
    EXPECT_TRUE(chart->isVisible());
}

TEST_F(FormChartTest, FollowsTheEvaluatedPairsAndIsClearedWithTheMonitor) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("l6_two_channel_1h.ubx");
    chartButton()->click();
    TFormChart* chart = form->formChart();
    EXPECT_EQ(chart->currentTexts().subtitle, "No evaluated pairs yet");
    feedSeconds(stream, 60000);
    const PairHistory& history = form->history();
    EXPECT_EQ(history.capacity(), kDaySeconds);
    ASSERT_GT(history.size(), 100u);
    EXPECT_EQ(history.size(), form->monitor().decoder().pairEvaluations());

    HistoryChartView view = chart->currentView();
    EXPECT_EQ(view.toMs - view.fromMs, 600000) << "the last 10 minutes by default";
    EXPECT_GE(view.toMs, history.back().timeMs);
    chart->spanBox()->setCurrentIndex(chart->spanBox()->count() - 1);
    view = chart->currentView();
    EXPECT_EQ(view.fromMs, history[0].timeMs) << "the whole session";
    EXPECT_TRUE(chart->currentTexts().subtitle.startsWith("This session, since "));
    EXPECT_FALSE(chart->grab().isNull());

    form->monitorReset();
    EXPECT_TRUE(history.empty());
    EXPECT_EQ(chart->currentTexts().subtitle, "No evaluated pairs yet");
}

}  // namespace
}  // namespace tessaly
