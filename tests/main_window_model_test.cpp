// The main window's rules without the window: which link controls the user may use, what the
// status line says and in which colour, and the icon.
#include <gtest/gtest.h>

#include "app/main_window_model.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

TEST(MainWindowModel, AnActiveLinkLocksItsKindAndFieldsAndOnlyItsCloseIsOffered) {
    const struct {
        const char* name;
        LinkFacts link;
        LinkControls shown;
    } cases[] = {
        // TCP Open, TCP Close, serial Open, serial Close, serial captions, kind and fields.
        {"closed", {LinkActivity::Closed, true}, {true, false, true, false, true, true}},
        {"serial open", {LinkActivity::Open, true}, {true, false, false, true, false, false}},
        {"serial reconnecting", {LinkActivity::Reconnecting, true}, {true, false, false, true, false, false}},
        {"TCP open", {LinkActivity::Open, false}, {false, true, true, false, true, false}},
        {"TCP reconnecting", {LinkActivity::Reconnecting, false}, {false, true, true, false, true, false}},
    };
    for (const auto& c : cases) EXPECT_EQ(linkControls(c.link), c.shown) << c.name;
}

TEST(MainWindowModel, EachSideFollowsItsOwnLink) {
    MainWindowFacts facts;
    facts.input = {LinkActivity::Reconnecting, false};
    const MainWindowView view = MainWindowModel().view(facts);
    EXPECT_TRUE(view.input.tcpCloseEnabled);
    EXPECT_TRUE(view.output.kindEnabled) << "the output side is idle";
}

TEST(MainWindowModel, LostLinkLineSaysTheErrorAndTheWaitInRed) {
    MainWindowModel model;
    MainWindowFacts facts;
    facts.monitorStatus = "FWVER=QZS 1.01";
    model.linkNoticed(LinkSide::Input, "Connection refused", 1500ms);
    EXPECT_EQ(model.view(facts).status,
              (StatusLineView{"Input link lost, reconnecting: Connection refused (1.5 s)", StatusLineColour::Red}));
    facts.language = UiLanguage::Japanese;
    EXPECT_EQ(model.view(facts).status.text, "入力リンクが切断されました。再接続中: Connection refused (1.5 s)");
    model.linkClosedByUser(LinkSide::Input);
    model.linkNoticed(LinkSide::Output, "", 500ms);
    EXPECT_EQ(model.view({}).status.text, "Output link lost, reconnecting (0.5 s)") << "no error, no colon";
}

TEST(MainWindowModel, InputLineBeforeOutputLineBeforeTheMonitorsLine) {
    MainWindowModel model;
    MainWindowFacts facts;
    facts.monitorStatus = "FWVER=QZS 1.01";
    model.linkNoticed(LinkSide::Output, "", 2000ms);
    model.linkNoticed(LinkSide::Input, "", 500ms);
    EXPECT_EQ(model.view(facts).status.text, "Input link lost, reconnecting (0.5 s)");
    model.linkNoticed(LinkSide::Input, "", 0ms);  // reopened, or lost for good: said in a message instead
    EXPECT_EQ(model.view(facts).status.text, "Output link lost, reconnecting (2.0 s)");
    model.linkClosedByUser(LinkSide::Output);
    EXPECT_EQ(model.view(facts).status, (StatusLineView{"FWVER=QZS 1.01", StatusLineColour::Normal}));
}

TEST(MainWindowModel, SkippedBytesFollowTheMonitorsLineOrStandAlone) {
    MainWindowFacts facts;
    facts.monitorSkipped = 5274196104;
    EXPECT_EQ(MainWindowModel().view(facts).status.text, "skipped 5.3 GB");
    facts.monitorStatus = "Error count: 117";
    EXPECT_EQ(MainWindowModel().view(facts).status.text, "Error count: 117 | skipped 5.3 GB");
}

TEST(MainWindowModel, ACommandsAnswerOutlivesTheMonitorsTextUntilTheNextCommand) {
    MainWindowModel model;
    MainWindowFacts facts;
    model.commandAnswered("Cold start", CommandAnswer::Kind::None);
    EXPECT_EQ(model.view(facts).status.text, "Cold start: no answer from the receiver within 1 s")
        << "the command's monitor reset emptied the monitor's text";
    facts.monitorStatus = "FWVER=QZS 1.01";
    facts.monitorSkipped = 2000;
    model.commandAnswered("Default configuration", CommandAnswer::Kind::Nak);
    EXPECT_EQ(model.view(facts).status.text,
              "FWVER=QZS 1.01 | Default configuration: refused by the receiver | skipped 2.0 kB");
    facts.monitorSkipped = 0;
    facts.language = UiLanguage::Japanese;
    model.commandAnswered("Warm start", CommandAnswer::Kind::Ack);
    EXPECT_EQ(model.view(facts).status.text, "FWVER=QZS 1.01 | Warm start: 受信機が受け付けました");
    model.linkClosedByUser(LinkSide::Output);
    EXPECT_NE(model.view(facts).status.text, "FWVER=QZS 1.01") << "the output has nothing to do with it";
    model.linkClosedByUser(LinkSide::Input);
    EXPECT_EQ(model.view(facts).status.text, "FWVER=QZS 1.01") << "the receiver it answered for is gone";
    model.commandAnswered("Warm start", CommandAnswer::Kind::Ack);
    model.commandStarted();
    EXPECT_EQ(model.view(facts).status.text, "FWVER=QZS 1.01");
}

TEST(MainWindowModel, IconWarnsWhileALinkIsLostWhateverTheMonitorSays) {
    MainWindowModel model;
    MainWindowFacts facts;
    facts.monitorIcon = StatusIconKind::Warning;
    EXPECT_EQ(model.view(facts).icon, StatusIconKind::Warning);
    facts.monitorIcon = StatusIconKind::Good;
    model.linkNoticed(LinkSide::Output, "", 1000ms);
    EXPECT_EQ(model.view(facts).icon, StatusIconKind::Warning);
    model.linkClosedByUser(LinkSide::Output);
    EXPECT_EQ(model.view(facts).icon, StatusIconKind::Good);
}

}  // namespace
}  // namespace tessaly
