// The window as a relay: its handlers open real links (TCP to servers on 127.0.0.1, serial to
// pseudo-terminals through a temporary port map) and the bytes are checked at the far ends.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <future>
#include <thread>

#include "app/byte_count_text.h"
#include "app/form_main.h"
#include "settings/profile_file.h"
#include "monitor/receiver_monitor.h"
#include "testing/serial_test_support.h"
#include "tests/tcp_peer.h"
#include "tests/window_waits.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

const Bytes kPollOnTheWire = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34, 0x0D, 0x0A};

Bytes everyByteValue(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    std::uint32_t x = seed;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = static_cast<std::uint8_t>(i < 256 ? i : x >> 24);
    }
    return bytes;
}

// The far end of one side: a receiver played over TCP or over a pseudo-terminal.
class FarEnd {
public:
    virtual ~FarEnd() = default;
    virtual void afterOpen() {}
    virtual void send(const Bytes& bytes) = 0;
    virtual Bytes receive(std::size_t count, std::chrono::milliseconds limit) = 0;
};

class TcpFarEnd final : public FarEnd {
public:
    void afterOpen() override { peer.accept(); }
    void send(const Bytes& bytes) override { peer.send(bytes); }
    Bytes receive(std::size_t count, std::chrono::milliseconds) override { return peer.receive(count); }
    testing::TcpPeer peer;
};

class SerialFarEnd final : public FarEnd {
public:
    SerialFarEnd(testing::PortsFolder& ports, int portNo) { ports.link(portNo, pty.nearPath()); }
    void send(const Bytes& bytes) override { pty.writeFar(bytes); }
    Bytes receive(std::size_t count, std::chrono::milliseconds limit) override { return pty.readFar(count, limit); }
    testing::PtyPair pty;
};

class WindowLinksTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TESSALY_PORTS_DIR", ports.path().c_str(), 1);
        FormOptions options;
        options.localeName = "en_US";
        options.showMessage = [this](const QString& text) { messages.push_back(text.toStdString()); };
        options.programPath = folder.file("tessaly-monitor");
        options.configHome = folder.file("config");
        form = std::make_unique<TFormMain>(options);
        form->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        form->close();
        form.reset();
    }
    template <typename T>
    T* child(const char* name) {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    std::unique_ptr<FarEnd> tcpEnd() { return std::make_unique<TcpFarEnd>(); }
    std::unique_ptr<FarEnd> serialEnd(int portNo) { return std::make_unique<SerialFarEnd>(ports, portNo); }
    static int tcpPort(FarEnd& end) { return static_cast<TcpFarEnd&>(end).peer.port(); }

    void openTcp(bool input, const std::string& host, const std::string& port) {
        child<QRadioButton>(input ? "RadioButtonTCP" : "RadioButtonTCP2")->setChecked(true);
        child<QLineEdit>(input ? "LabeledEditTcpHost" : "LabeledEditTcpHost2")->setText(QString::fromStdString(host));
        child<QLineEdit>(input ? "LabeledEditTcpPort" : "LabeledEditTCPport2")->setText(QString::fromStdString(port));
        input ? form->ButtonTCPopenClick() : form->ButtonTCPopen2Click();
        test::untilOpensEnded(*form);
    }
    void openSerial(bool input, int portNo) {
        child<QRadioButton>(input ? "RadioButtonSerial" : "RadioButtonSerial2")->setChecked(true);
        child<QComboBox>(input ? "ComboBoxPort" : "ComboBoxPort2")->setEditText(QStringLiteral("COM%1").arg(portNo));
        input ? form->ButtonOpenClick() : form->ButtonOpen2Click();
        test::untilOpensEnded(*form);
    }
    // Opens one side to the far end: TCP when it has a server, serial on `portNo` otherwise.
    void open(bool input, FarEnd& end, int portNo) {
        if (auto* tcp = dynamic_cast<TcpFarEnd*>(&end)) {
            openTcp(input, "127.0.0.1", std::to_string(tcp->peer.port()));
        } else {
            openSerial(input, portNo);
        }
        end.afterOpen();
    }
    // The output first, then the input, which the window polls for its firmware version.
    void openBothAfterThePoll(FarEnd& in, FarEnd& out) {
        open(false, out, 0);
        open(true, in, 0);
        EXPECT_EQ(in.receive(kPollOnTheWire.size(), 5s), kPollOnTheWire);
    }
    // Runs the window's events until the future is ready (bounded).
    template <typename T>
    T pumpUntil(std::future<T>& result, std::chrono::seconds limit = 60s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (result.wait_for(0s) != std::future_status::ready && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
        return result.get();
    }
    // Sends on one far end while the window relays, and returns what reached the other.
    Bytes relay(FarEnd& from, FarEnd& to, const Bytes& bytes) {
        auto received = std::async(std::launch::async, [&] { return to.receive(bytes.size(), 30s); });
        auto sent = std::async(std::launch::async, [&] { from.send(bytes); return true; });
        pumpUntil(sent);
        return pumpUntil(received);
    }
    void idle() {
        for (int i = 0; i < 10; ++i) form->ApplicationEvents1Idle();
    }
    std::string statusLine() { return child<QLabel>("LabelErr")->text().toStdString(); }
    // The input's peer goes away; true once the status line says the link is being reconnected.
    bool inputLost(std::unique_ptr<testing::TcpPeer>& peer) {
        peer->reset();
        peer.reset();
        return testing::eventually([&] {
            QCoreApplication::processEvents();
            return statusLine().starts_with("Input link lost, reconnecting");
        });
    }

    test::TempFolder folder;
    testing::PortsFolder ports;
    std::vector<std::string> messages;
    std::unique_ptr<TFormMain> form;
};

TEST_F(WindowLinksTest, EveryByteBothWaysForAllFourKindPairs) {
    const std::size_t size = 10 << 20;
    const struct {
        const char* name;
        bool serialIn, serialOut;
    } pairs[] = {{"TCP to TCP", false, false},
                 {"serial to TCP", true, false},
                 {"TCP to serial", false, true},
                 {"serial to serial", true, true}};
    int portNo = 10;
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.name);
        const int inPort = ++portNo, outPort = ++portNo;
        auto in = pair.serialIn ? serialEnd(inPort) : tcpEnd();
        auto out = pair.serialOut ? serialEnd(outPort) : tcpEnd();
        open(false, *out, outPort);
        open(true, *in, inPort);
        auto poll = std::async(std::launch::async, [&] { return in->receive(kPollOnTheWire.size(), 5s); });
        ASSERT_EQ(pumpUntil(poll), kPollOnTheWire) << "the firmware-version poll on input open";
        ASSERT_TRUE(messages.empty()) << messages.front();

        const Bytes forward = everyByteValue(size, 1);
        EXPECT_TRUE(relay(*in, *out, forward) == forward) << "input to output";
        const Bytes back = everyByteValue(size, 2);
        EXPECT_TRUE(relay(*out, *in, back) == back) << "output to input";

        form->close();
        form.reset();
        // A fresh start: the settings saved at this close would reopen the links to these ends.
        std::filesystem::remove(folder.file("tessaly-monitor.ini"));
        SetUp();
    }
}

TEST_F(WindowLinksTest, AnHourRelayedAtFullSpeedFillsTheGridsAsAnOfflineScanFindsIt) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("l6_two_channel_1h.ubx");
    auto in = tcpEnd();
    auto out = tcpEnd();
    openBothAfterThePoll(*in, *out);
    EXPECT_TRUE(relay(*in, *out, stream) == stream);

    SystemWallClock clock;
    MonitorOutputs outputs;
    outputs.clock = &clock;
    ReceiverMonitor offline(outputs);
    for (std::size_t at = 0; at < stream.size(); at += 1024) offline.scanBlock(test::slice(stream, at, 1024));
    const auto& expected = offline.counters();
    // The relay was ahead; the window watches the rest as its events run.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (form->monitor().counters().validFrames != expected.validFrames && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    const auto& seen = form->monitor().counters();
    EXPECT_EQ(form->monitorSkipped(), 0u);
    EXPECT_EQ(seen.validFrames, expected.validFrames);
    EXPECT_EQ(seen.l6Reports[0], expected.l6Reports[0]);
    EXPECT_EQ(seen.l6Reports[1], expected.l6Reports[1]);
    EXPECT_EQ(seen.framesDropped, expected.framesDropped);
    EXPECT_EQ(form->monitor().decoder().bothFailedCount(), offline.decoder().bothFailedCount());
    EXPECT_EQ(form->monitorView().grid(Channel::A).cell(kValueColumn, kRowPrn), "194");
    EXPECT_EQ(form->monitorView().grid(Channel::B).cell(kValueColumn, kRowPrn), "196");
}

TEST_F(WindowLinksTest, ABusyWindowHoldsNoByteBackAndItsStatusLineSaysWhatTheMonitorSkipped) {
    const tessaly::test::Bytes hour = tessaly::test::recordedStream("l6_two_channel_1h.ubx");
    auto in = tcpEnd();
    auto out = tcpEnd();
    openBothAfterThePoll(*in, *out);
    Bytes stream;
    for (int i = 0; i < 4; ++i) stream.insert(stream.end(), hour.begin(), hour.end());  // twice the monitor's room

    // The window runs no event meanwhile, as while a dialog of another program holds it.
    auto received = std::async(std::launch::async, [&] { return out->receive(stream.size(), 30s); });
    in->send(stream);
    EXPECT_TRUE(received.get() == stream) << "every byte relayed while the window was busy";

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (child<QLabel>("LabelErr")->text().indexOf("skipped") < 0 && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    const std::uint64_t skipped = form->monitorSkipped();
    EXPECT_GT(skipped, 0u);
    // Whole blocks are skipped: the room left may be up to one read short of the bound.
    EXPECT_LE(skipped, stream.size() - MonitorFeed::kDefaultCapBytes + LinkEndpoint::kReadCap) << "what fitted was watched";
    EXPECT_TRUE(child<QLabel>("LabelErr")->text().endsWith(" | skipped " + QString::fromStdString(byteCountText(skipped))))
        << child<QLabel>("LabelErr")->text().toStdString();
}

TEST_F(WindowLinksTest, OutputOpensSendNothing) {
    auto tcpOut = tcpEnd();
    open(false, *tcpOut, 0);
    auto serialOut = serialEnd(6);
    form->ButtonTCPclose2Click();
    open(false, *serialOut, 6);
    auto quiet = std::async(std::launch::async, [&] {
        return static_cast<SerialFarEnd&>(*serialOut).pty.drainFar(300ms);
    });
    EXPECT_TRUE(pumpUntil(quiet).empty());
    static_cast<TcpFarEnd&>(*tcpOut).peer.stopListening();
    EXPECT_TRUE(static_cast<TcpFarEnd&>(*tcpOut).peer.receive(1).empty()) << "closed without a byte";
}

TEST_F(WindowLinksTest, DefaultHotStartCommandReachesTheInputLink) {
    auto in = serialEnd(7);
    open(true, *in, 7);
    EXPECT_EQ(in->receive(kPollOnTheWire.size(), 5s), kPollOnTheWire);
    form->sendCommandText("\\B5\\62\\06\\04\\04\\00\\00\\00\\02\\00\\10\\68 ;H:Hot start");
    auto got = std::async(std::launch::async, [&] { return in->receive(14, 5s); });
    EXPECT_EQ(pumpUntil(got), (Bytes{0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x68, 0x0D, 0x0A}));
}

TEST_F(WindowLinksTest, SamePortOnBothSidesIsRefused) {
    auto out = serialEnd(5);
    open(false, *out, 5);
    form->monitorView().setStatusText("FWVER=QZS 1.01");
    openSerial(true, 5);
    EXPECT_EQ(messages, std::vector<std::string>{"Input and output \"Port\" are the same"});
    EXPECT_EQ(form->CommX1().PortNo(), 5) << "the number stays stored";
    EXPECT_EQ(form->CommX1().Handle(), TCustomCommX::kInvalidHandle);
    EXPECT_EQ(form->monitorView().statusText(), "FWVER=QZS 1.01") << "no monitor reset";
    EXPECT_TRUE(child<QPushButton>("ButtonOpen")->isEnabled());
}

TEST_F(WindowLinksTest, SameHostTextAndPortIsRefusedAnotherSpellingPasses) {
    TcpFarEnd server;
    openTcp(false, "localhost", std::to_string(server.peer.port()));
    server.afterOpen();
    openTcp(true, "localhost", std::to_string(server.peer.port()));
    EXPECT_EQ(messages, std::vector<std::string>{"Input and output \"Host\" and \"Port\" are the same"});
    EXPECT_FALSE(form->IdTCPClient1().connected());
    openTcp(true, "127.0.0.1", std::to_string(server.peer.port()));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(form->IdTCPClient1().connected());
}

TEST_F(WindowLinksTest, PortTextThatIsNoIntegerEscapesAsConversionError) {
    form->monitorView().setStatusText("something");
    try {
        openTcp(true, "127.0.0.1", "");
        FAIL() << "no error";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid integer value");
    }
    EXPECT_FALSE(child<QPushButton>("ButtonTCPopen")->isEnabled()) << "disabled before the conversion";
    EXPECT_EQ(form->monitorView().statusText(), "") << "the monitor was reset before it";
    idle();
    EXPECT_TRUE(child<QPushButton>("ButtonTCPopen")->isEnabled()) << "the refresh finds it closed";
}

TEST_F(WindowLinksTest, FailedConnectShowsCannotOpenTcpHost) {
    int closedPort;
    {
        testing::TcpPeer gone;
        closedPort = gone.port();
    }
    openTcp(true, "127.0.0.1", std::to_string(closedPort));
    openTcp(false, "127.0.0.1", "0");
    // The window's own words, then the endpoint and why.
    const std::string refused = "tcp:127.0.0.1:" + std::to_string(closedPort) + ": connection refused";
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].starts_with("Cannot open TCP host\r\n\r\ncannot connect to " + refused)) << messages[0];
    EXPECT_EQ(messages[1], "Cannot open TCP host\r\n\r\ncannot connect to tcp:127.0.0.1:0: the port is not 1 to 65535");
    openSerial(true, 42);  // no such port in the map
    EXPECT_TRUE(messages.back().starts_with("Cannot open COM port\r\n\r\ncannot open serial:COM42@115200: "))
        << messages.back();
    EXPECT_NE(messages.back().find("(not in the port map "), std::string::npos) << messages.back();
}

// Saved as open but away at start: with reconnecting on, no box; the link is retried as a lost one
// and the status line says why.
TEST_F(WindowLinksTest, ALinkThatFailsAtStartIsRetriedWithItsReasonOnTheStatusLine) {
    int closedPort;
    {
        testing::TcpPeer gone;
        closedPort = gone.port();
    }
    form.reset();
    std::ofstream(folder.file("tessaly-monitor.ini"), std::ios::binary)
        << "[Option]\nSerial=0\nTCPhost=127.0.0.1\nTCPport=" << closedPort << "\nOpenTCPInput=1\nReconnect=1\n";
    SetUp();
    ASSERT_TRUE(test::eventsUntil([&] { return form->inputLink().state() == LinkState::Reconnecting; }));
    EXPECT_TRUE(messages.empty()) << messages.front();
    const std::string line = child<QLabel>("LabelErr")->text().toStdString();
    EXPECT_NE(line.find("cannot connect to tcp:127.0.0.1:" + std::to_string(closedPort) + ": connection refused"),
              std::string::npos)
        << line;
    testing::TcpPeer back(closedPort);
    ASSERT_TRUE(test::eventsUntil([&] {
        form->superviseLinks();
        return form->inputLink().state() == LinkState::Open;
    }));
}

TEST_F(WindowLinksTest, InputOpenClosesTheOtherKindFirstEvenWhenItFails) {
    auto serial = serialEnd(8);
    open(true, *serial, 8);
    ASSERT_NE(form->CommX1().Handle(), TCustomCommX::kInvalidHandle);
    openTcp(true, "127.0.0.1", "1");  // nothing listens there
    EXPECT_EQ(form->CommX1().Handle(), TCustomCommX::kInvalidHandle);
    EXPECT_TRUE(messages.back().starts_with("Cannot open TCP host")) << messages.back();
}

TEST_F(WindowLinksTest, ALostLinkIsReopenedWhenItsServerRestartsAndStaysRecordedOpen) {
    auto in = std::make_unique<testing::TcpPeer>();
    const int port = in->port();
    openTcp(true, "127.0.0.1", std::to_string(port));
    in->accept();
    idle();
    EXPECT_FALSE(child<QPushButton>("ButtonTCPopen")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("ButtonTCPclose")->isEnabled());
    EXPECT_FALSE(child<QRadioButton>("RadioButtonSerial")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("LabeledEditTcpPort")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>("RadioButtonSerial2")->isEnabled()) << "the output side is idle";

    // The L6 receiver's server restarts: first it is gone for a while.
    ASSERT_TRUE(inputLost(in)) << statusLine();
    idle();
    EXPECT_FALSE(child<QPushButton>("ButtonTCPopen")->isEnabled()) << "still open as far as the user is concerned";
    EXPECT_TRUE(child<QPushButton>("ButtonTCPclose")->isEnabled());
    EXPECT_EQ(form->shownIcon(), StatusIconKind::Warning);
    EXPECT_TRUE(messages.empty()) << "no pile of message boxes";

    testing::TcpPeer back(port);
    auto polled = std::async(std::launch::async, [&] {
        back.accept();
        return back.receive(kPollOnTheWire.size());
    });
    EXPECT_EQ(pumpUntil(polled, 20s), kPollOnTheWire) << "reopened and polled again";
    ASSERT_TRUE(testing::eventually([&] {
        QCoreApplication::processEvents();
        return !statusLine().starts_with("Input link lost");
    }));
    back.reset();
    ASSERT_TRUE(testing::eventually([&] {
        QCoreApplication::processEvents();
        return form->inputLink().state() == LinkState::Reconnecting;
    }));
    const std::string settings = form->settingsPath();
    form->close();
    EXPECT_TRUE(ProfileFile::load(settings).readBool("Option", "OpenTCPInput", false))
        << "a link being reopened opens again at the next start";
    EXPECT_TRUE(ProfileFile::load(settings).readBool("Option", "Reconnect", false));
}

// Close while the link waits to be reopened: it stays closed, and the line that said it was being
// reconnected goes, then and after the retry would have been due.
TEST_F(WindowLinksTest, CloseDuringAReconnectLeavesTheLinkClosedAndItsLineGone) {
    auto in = std::make_unique<testing::TcpPeer>();
    openTcp(true, "127.0.0.1", std::to_string(in->port()));
    in->accept();
    idle();
    ASSERT_TRUE(inputLost(in)) << statusLine();
    child<QPushButton>("ButtonTCPclose")->click();
    const auto until = std::chrono::steady_clock::now() + 1500ms;  // past the first retry, at 0.5 s
    while (std::chrono::steady_clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    idle();
    EXPECT_EQ(form->inputLink().state(), LinkState::Closed);
    EXPECT_EQ(statusLine().find("reconnecting"), std::string::npos) << statusLine();
    EXPECT_TRUE(child<QPushButton>("ButtonTCPopen")->isEnabled());
}

TEST_F(WindowLinksTest, RoverLineShowsTheFixAndTheL6UseWhileTheReturnStreamPassesUnchanged) {
    testing::TcpPeer receiver, rover;
    openTcp(false, "127.0.0.1", std::to_string(rover.port()));
    rover.accept();
    openTcp(true, "127.0.0.1", std::to_string(receiver.port()));
    receiver.accept();
    ASSERT_EQ(receiver.receive(kPollOnTheWire.size()), kPollOnTheWire);
    const auto line = [&] { return child<QLabel>("LabelRover")->text().toStdString(); };
    form->Timer1Timer();
    EXPECT_EQ(line(), "") << "nothing heard yet, and not silent for 5 s";

    const Bytes stream = test::concat({test::navPvtFrame({.fixType = 3, .flags = 0x83, .numSv = 12, .hAccMm = 14,
                                                          .flags3 = 1 << 1}),
                                       test::rxmCorFrame(30, 1, 2), test::rxmCorFrame(30, 2, 1)});
    auto relayed = std::async(std::launch::async, [&] {
        rover.send(stream);
        return receiver.receive(stream.size());
    });
    EXPECT_EQ(pumpUntil(relayed), stream) << "byte for byte to the L6 receiver";
    ASSERT_TRUE(testing::eventually([&] {
        QCoreApplication::processEvents();
        form->Timer1Timer();
        return line().starts_with("Rover: RTK fixed");
    })) << line();
    EXPECT_NE(line().find("12 SV"), std::string::npos) << line();
    EXPECT_NE(line().find("0.014 m"), std::string::npos) << line();
    EXPECT_NE(line().find("L6 used 1/2"), std::string::npos) << line();
    form->ButtonTCPclose2Click();
    form->Timer1Timer();
    EXPECT_EQ(line(), "") << "empty while the output link is closed";
}

TEST_F(WindowLinksTest, CloseButtonsAndKindSelectors) {
    auto in = tcpEnd();
    open(true, *in, 0);
    EXPECT_TRUE(child<QWidget>("GroupBoxTCP")->isVisible());
    EXPECT_FALSE(child<QWidget>("GroupBoxSerial")->isVisible());
    form->ButtonTCPcloseClick();
    EXPECT_FALSE(form->IdTCPClient1().connected());
    EXPECT_TRUE(static_cast<TcpFarEnd&>(*in).peer.receive(20).size() == kPollOnTheWire.size())
        << "only the poll, then the orderly close";

    auto out = serialEnd(9);
    open(false, *out, 9);
    form->ButtonClose2Click();
    EXPECT_EQ(form->CommX2().Handle(), TCustomCommX::kInvalidHandle);
    auto* close2 = child<QPushButton>("ButtonClose2");
    EXPECT_FALSE(close2->isEnabled()) << "disabled during its pause";
    const auto clicked = std::chrono::steady_clock::now();
    while (!close2->isEnabled() && std::chrono::steady_clock::now() < clicked + 5s) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    EXPECT_TRUE(close2->isEnabled()) << "enabled again after its pause";
    EXPECT_GE(std::chrono::steady_clock::now() - clicked, 190ms);
    idle();
    EXPECT_FALSE(child<QPushButton>("ButtonClose2")->isEnabled());
}

}  // namespace
}  // namespace tessaly

namespace tessaly {
namespace {

TEST_F(WindowLinksTest, PortListsDropDownFromTheMapAndTidyOnCloseUp) {
    testing::PtyPair receiver;
    ports.link(3, receiver.nearPath());
    ports.link(12, receiver.nearPath() + "-gone");  // a map entry whose device is not there
    form->ComboBoxPortDropDown();
    auto* input = child<QComboBox>("ComboBoxPort");
    // Serial devices of this machine may join the list; the map's two entries decide the rest.
    QStringList items;
    for (int i = 0; i < input->count(); ++i) items << input->itemText(i);
    ASSERT_EQ(items.filter(QRegularExpression("^COM3( |$)")).size(), 1) << items.join('|').toStdString();
    EXPECT_TRUE(items.filter(QRegularExpression("^COM12")).isEmpty()) << "its device is not there";
    EXPECT_EQ(input->currentText(), "COM1") << "the typed text stays while the list drops down";

    input->setEditText(QStringLiteral("COM3  u-blox GNSS receiver (ttyACM0)"));
    child<QComboBox>("ComboBoxPort2")->setEditText(QStringLiteral(" COM12 Bluetooth link"));
    form->ComboBoxPortCloseUp();
    idle();
    EXPECT_EQ(input->currentText(), "COM3");
    EXPECT_EQ(child<QComboBox>("ComboBoxPort2")->currentText(), "COM12") << "both fields are tidied";
}

}  // namespace
}  // namespace tessaly
