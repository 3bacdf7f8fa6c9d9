// The window's settings file, command buttons and CSV log, driven as the user drives them, with
// real files in a folder of the test's own.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>

#include "app/form_main.h"
#include "settings/profile_file.h"
#include "testing/serial_test_support.h"
#include "tests/tcp_peer.h"
#include "tests/window_waits.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

const Bytes kPoll = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34, 0x0D, 0x0A};
const Bytes kHotStart = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x68, 0x0D, 0x0A};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class WindowSettingsTest : public ::testing::Test {
protected:
    void start(std::vector<std::string> arguments = {}) {
        FormOptions options;
        options.localeName = "en_US";
        options.programPath = folder.file("tessaly-monitor");
        options.configHome = folder.file("config");
        options.arguments = std::move(arguments);
        options.showMessage = [this](const QString& text) { messages.push_back(text.toStdString()); };
        options.chooseLogFile = [this](const QString& initial) {
            dialogFolders.push_back(initial.toStdString());
            return QString::fromStdString(chosenLogFile);
        };
        options.askYesNo = [this](const QString& question) {
            questions.push_back(question.toStdString());
            return overwrite;
        };
        form = std::make_unique<TFormMain>(options);
        form->show();
        QCoreApplication::processEvents();
    }
    void closeWindow() {
        form->close();
        form.reset();
    }
    template <typename T>
    T* child(const char* name) {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    // The receiver is a pty behind COM5, opened as the input; the poll of the open is read.
    void openReceiverOnCom5(testing::PortsFolder& ports, testing::PtyPair& receiver) {
        ports.link(5, receiver.nearPath());
        setenv("TESSALY_PORTS_DIR", ports.path().c_str(), 1);
        start();
        child<QComboBox>("ComboBoxPort")->setEditText(QStringLiteral("COM5"));
        form->ButtonOpenClick();
        ASSERT_EQ(receiver.readFar(kPoll.size(), 3000ms), kPoll);
    }
    std::string labelErr() { return child<QLabel>("LabelErr")->text().toStdString(); }
    // Whether `done` comes true while the window's events run.
    static bool withEvents(const std::function<bool()>& done) {
        return testing::eventually([&] {
            QCoreApplication::processEvents();
            return done();
        });
    }
    std::string iniPath() const { return folder.file("tessaly-monitor.ini"); }
    void writeIni(const std::string& text) { std::ofstream(iniPath(), std::ios::binary) << text; }

    test::TempFolder folder;
    std::unique_ptr<TFormMain> form;
    std::vector<std::string> messages, dialogFolders, questions;
    std::string chosenLogFile;
    bool overwrite = false;
};

TEST_F(WindowSettingsTest, FreshStartCreatesTheFileAndCloseWritesEveryKeyInOrder) {
    start();
    EXPECT_EQ(form->settingsPath(), iniPath());
    const std::string created = readAll(iniPath());
    EXPECT_EQ(created, std::string("\xFF\xFE", 2)) << "an empty UTF-16 file with its byte-order mark";
    closeWindow();

    const ProfileFile file = ProfileFile::load(iniPath());
    EXPECT_EQ(file.readText("Option", "Version", ""), "Ver1.08");
    EXPECT_EQ(file.readInteger("Option", "PRNs", 0), 192);
    EXPECT_EQ(file.readText("Option", "ComPort", ""), "COM1");
    EXPECT_EQ(file.readText("Option", "ComPort2", ""), "COM2") << "the output's own default";
    EXPECT_EQ(file.readText("Option", "TCPport2", ""), "5555");
    EXPECT_TRUE(file.readBool("Option", "Serial", false));
    EXPECT_FALSE(file.readBool("Option", "OpenTCPInput", true));
    EXPECT_EQ(file.read("Option", "Reconnect"), "1") << "on by default, and written";
    EXPECT_EQ(file.readText("CSV", "CSV_Index", ""), std::string(kDefaultCsvHeader));
    EXPECT_EQ(file.readText("Command", "Cmd4", "").substr(0, 7), "\\B5\\62\\");

    // The keys stand in the order they were written, each section once.
    const std::string bytes = readAll(iniPath());
    ASSERT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));
    std::string ascii;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) ascii += bytes[i + 1] == 0 ? bytes[i] : '?';
    std::size_t at = 0;
    for (const char* key : {"[Option]", "Version=", "PRNs=", "ComPort=", "ComBaud=", "TCPhost=", "TCPport=",
                            "Serial=", "ComPort2=", "LogDir=", "SVID_PRN=", "MFG-ID=", "OpenSerialInput=",
                            "OpenTCPOutput=", "Reconnect=", "MainTop=", "MainLeft=", "[CSV]", "CSV_Index=", "UTC=",
                            "[Command]", "Cmd1=", "Cmd2=", "Cmd3=", "Cmd4="}) {
        const std::size_t found = ascii.find(key, at);
        ASSERT_NE(found, std::string::npos) << key << " after offset " << at << " in\n" << ascii;
        at = found + 1;
    }
}

TEST_F(WindowSettingsTest, EveryKeyComesBackAfterARestart) {
    writeIni(
        "[Option]\r\nVersion=Ver1.08\r\nPRNs=7\r\nComPort=COM7\r\nComBaud=9600\r\nTCPhost=rover.local\r\n"
        "TCPport=2101\r\nSerial=0\r\nComPort2=COM8\r\nComBaud2=38400\r\nTCPhost2=127.0.0.1\r\nTCPport2=0x1F90\r\n"
        "Serial2=0\r\nLogDir=/data/logs\r\nSVID_PRN= 193, 194 \r\nMFG-ID=\"日立太田,Kobe\"\r\nReconnect=0\r\nMainTop=40\r\n"
        "MainLeft=30\r\n"
        "[CSV]\r\nCSV_Index=my header\r\nUTC=1\r\n[Command]\r\nCmd1=ABC;X:Say ABC\r\nCmd2=\r\nCmd3=\\B5\r\nCmd4=Q;Q\r\n");
    start();
    EXPECT_EQ(child<QComboBox>("ComboBoxPort")->currentText(), "COM7");
    EXPECT_EQ(child<QComboBox>("ComboBoxBaud")->currentText(), "9600");
    EXPECT_EQ(child<QLineEdit>("LabeledEditTcpHost")->text(), "rover.local");
    EXPECT_TRUE(child<QRadioButton>("RadioButtonTCP")->isChecked());
    EXPECT_TRUE(child<QWidget>("GroupBoxTCP")->isVisible());
    EXPECT_FALSE(child<QWidget>("GroupBoxSerial")->isVisible());
    EXPECT_TRUE(child<QRadioButton>("RadioButtonTCP2")->isChecked());
    EXPECT_EQ(child<QLineEdit>("LabeledEditTCPport2")->text(), "0x1F90") << "texts are taken as they are";
    EXPECT_EQ(form->settings().prns, 7);
    EXPECT_FALSE(form->settings().reconnect);
    EXPECT_EQ(form->settings().mfgId, "日立太田,Kobe");
    EXPECT_EQ(form->monitorView().nameLists().svidPrn, (std::vector<std::string>{"193", "194"}));
    EXPECT_EQ(form->settings().csvHeader, "my header");
    EXPECT_TRUE(form->settings().utc);
    // Command buttons: 1 and 4 visible and closed up, 2 and 3 hidden, the status line after them.
    EXPECT_TRUE(child<QPushButton>("ButtonCmd1")->isVisible());
    EXPECT_EQ(child<QPushButton>("ButtonCmd1")->text(), "X");
    EXPECT_EQ(child<QPushButton>("ButtonCmd1")->toolTip(), "Say ABC");
    EXPECT_FALSE(child<QPushButton>("ButtonCmd2")->isVisible());
    EXPECT_FALSE(child<QPushButton>("ButtonCmd3")->isVisible());
    EXPECT_EQ(child<QPushButton>("ButtonCmd4")->x(), 23);
    EXPECT_EQ(child<QLabel>("LabelErr")->x(), 46);
    child<QComboBox>("ComboBoxPort")->setEditText(QStringLiteral("COM9"));
    closeWindow();

    const ProfileFile file = ProfileFile::load(iniPath());
    EXPECT_EQ(file.readText("Option", "ComPort", ""), "COM9");
    EXPECT_EQ(file.readText("Option", "MFG-ID", ""), "日立太田,Kobe");
    EXPECT_EQ(file.readText("Option", "LogDir", ""), "/data/logs");
    EXPECT_EQ(file.readText("Command", "Cmd1", ""), "ABC;X:Say ABC");
    EXPECT_EQ(file.readText("CSV", "CSV_Index", ""), "my header");
    EXPECT_EQ(file.read("Option", "Reconnect"), "0");
}

TEST_F(WindowSettingsTest, HeaderOfAFileWrittenByTheFirstVersionIsReplaced) {
    writeIni("[Option]\r\nVersion=Ver1.00\r\n[CSV]\r\nCSV_Index=old header\r\n");
    start();
    EXPECT_EQ(form->settings().csvHeader, std::string(kDefaultCsvHeader));
    closeWindow();
    writeIni("[Option]\r\nVersion=Ver1.01\r\n[CSV]\r\nCSV_Index=newer header\r\n");
    start();
    EXPECT_EQ(form->settings().csvHeader, "newer header");
}

// The settings' folder went away while the window ran (a removed stick, an unmounted share): the
// close says once, with the path and the reason, that they could not be kept.
TEST_F(WindowSettingsTest, SettingsThatCannotBeSavedAreSaidAtClose) {
    const std::string stick = folder.file("stick");
    std::filesystem::create_directories(stick);
    const std::string ini = stick + "/station.ini";
    std::ofstream(ini, std::ios::binary) << "[Option]\nTCPhost=192.168.1.10\n";
    start({ini});
    ASSERT_EQ(form->settingsPath(), ini);
    std::filesystem::remove_all(stick);
    closeWindow();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("Cannot save the settings")) << messages[0];
    EXPECT_NE(messages[0].find(ini + " ("), std::string::npos) << messages[0];
}

TEST_F(WindowSettingsTest, IniArgumentNamesTheFileAndReopenFlagsOpenBothLinks) {
    testing::TcpPeer receiver, rover;
    std::ofstream(folder.file("relay.ini"), std::ios::binary)
        << "[Option]\nSerial=0\nSerial2=0\nTCPhost=127.0.0.1\nTCPport=" << receiver.port()
        << "\nTCPhost2=127.0.0.1\nTCPport2=" << rover.port() << "\nOpenTCPInput=1\nOpenTCPOutput=1\n";
    start({"--verbose", "relay.INI", "other.ini"});
    EXPECT_EQ(form->settingsPath(), folder.file("relay.INI")) << "a name without '/' is in the program's folder";
    // relay.INI does not exist (the file is relay.ini): a new, empty settings file is made.
    closeWindow();
    start({folder.file("relay.ini")});
    test::untilOpensEnded(*form);
    ASSERT_TRUE(form->IdTCPClient1().connected());
    ASSERT_TRUE(form->IdTCPClient2().connected());
    receiver.accept();
    rover.accept();
    EXPECT_EQ(receiver.receive(10), (Bytes{0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34, 0x0D, 0x0A}));
    closeWindow();
    const ProfileFile file = ProfileFile::load(folder.file("relay.ini"));
    EXPECT_TRUE(file.readBool("Option", "OpenTCPInput", false)) << "open at close";
    EXPECT_TRUE(file.readBool("Option", "OpenTCPOutput", false));
    EXPECT_FALSE(file.readBool("Option", "OpenSerialInput", true));
}

TEST_F(WindowSettingsTest, ReconnectOffClosesALostLinkAsTheUserWould) {
    auto receiver = std::make_unique<testing::TcpPeer>();
    writeIni("[Option]\nSerial=0\nTCPhost=127.0.0.1\nTCPport=" + std::to_string(receiver->port()) +
             "\nOpenTCPInput=1\nReconnect=0\n");
    start();
    receiver->accept();
    receiver->reset();
    ASSERT_TRUE(testing::eventually([&] {
        QCoreApplication::processEvents();
        return form->inputLink().state() == LinkState::Closed;
    }));
    closeWindow();
    const ProfileFile file = ProfileFile::load(iniPath());
    EXPECT_FALSE(file.readBool("Option", "OpenTCPInput", true)) << "closed, so not reopened at the next start";
    EXPECT_FALSE(file.readBool("Option", "Reconnect", true));
}

TEST_F(WindowSettingsTest, CommandRunSendsWaitsResetsAndPollsAgain) {
    testing::PortsFolder ports;
    testing::PtyPair receiver;
    ASSERT_NO_FATAL_FAILURE(openReceiverOnCom5(ports, receiver));
    form->monitorView().setStatusText("FWVER=QZS 1.01");
    overwrite = true;  // yes to the cold start's question

    auto* cold = child<QPushButton>("ButtonCmd3");
    auto* hot = child<QPushButton>("ButtonCmd1");
    // A second run starts while the first one waits: both go on, each re-enabling its button.
    QTimer::singleShot(300, [&] {
        EXPECT_FALSE(cold->isEnabled());
        EXPECT_EQ(form->monitorView().statusText(), "Cold start");
        form->ButtonCmd1Click();
    });
    form->ButtonCmd3Click();
    EXPECT_FALSE(cold->isEnabled()) << "disabled while its run goes on";
    EXPECT_TRUE(testing::eventually([&] {
        QCoreApplication::processEvents();
        return cold->isEnabled() && hot->isEnabled();
    }));
    const Bytes coldStart = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0xFF, 0xB9, 0x02, 0x00, 0xC8, 0x8F, 0x0D, 0x0A};
    EXPECT_EQ(receiver.readFar(coldStart.size() + kHotStart.size() + 2 * kPoll.size(), 3000ms),
              test::concat({coldStart, kHotStart, kPoll, kPoll}))
        << "cold, hot, then each run's poll after its second";
    EXPECT_EQ(questions.size(), 1u) << "only the cold start is asked about";
}

TEST_F(WindowSettingsTest, ColdStartIsAskedAboutAndNoSendsNothing) {
    testing::PortsFolder ports;
    testing::PtyPair receiver;
    ASSERT_NO_FATAL_FAILURE(openReceiverOnCom5(ports, receiver));
    form->monitorView().setStatusText("FWVER=QZS 1.01");
    auto* cold = child<QPushButton>("ButtonCmd3");
    overwrite = false;
    form->ButtonCmd3Click();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0],
              "Send \"Cold start\" to the L6 receiver? It forgets its satellite data and needs minutes to receive "
              "again.");
    EXPECT_TRUE(cold->isEnabled()) << "no run to wait for";
    EXPECT_EQ(form->monitorView().statusText(), "FWVER=QZS 1.01");
    form->ButtonCmd1Click();
    EXPECT_EQ(questions.size(), 1u) << "a hot start clears nothing";
    EXPECT_EQ(receiver.readFar(kHotStart.size(), 3000ms), kHotStart) << "the cold start never left before it";
}

TEST_F(WindowSettingsTest, TheReceiversAnswerStaysBesideTheFirmwareTextThatFollowsTheCommand) {
    testing::PortsFolder ports;
    testing::PtyPair receiver;
    ASSERT_NO_FATAL_FAILURE(openReceiverOnCom5(ports, receiver));
    overwrite = true;
    form->ButtonCmd4Click();
    ASSERT_EQ(receiver.readFar(23, 3000ms).size(), 23u) << "the CFG-CFG frame and CR LF";
    receiver.writeFar(test::ubxFrame(kUbxClassAck, kUbxIdAckAck, {kUbxClassCfg, kUbxIdCfgCfg}));
    const std::string acknowledged = "Default configuration: acknowledged by the receiver";
    EXPECT_TRUE(withEvents([&] { return labelErr() == "Default configuration | " + acknowledged; })) << labelErr();

    ASSERT_TRUE(withEvents([&] { return child<QPushButton>("ButtonCmd4")->isEnabled(); }));
    ASSERT_EQ(receiver.readFar(kPoll.size(), 3000ms), kPoll) << "the poll a second later";
    EXPECT_EQ(labelErr(), acknowledged) << "the monitor reset emptied the line, not the answer";
    receiver.writeFar(test::ubxFrame(kUbxClassMon, kUbxIdMonVer,
                                     test::concat({Bytes(40, 0), test::bytesOf("FWVER=QZS 1.01"), Bytes(16, 0)})));
    EXPECT_TRUE(withEvents([&] { return labelErr() == "FWVER=QZS 1.01 | " + acknowledged; })) << labelErr();
}

TEST_F(WindowSettingsTest, LogButtonStartsAndStopsTheCsvLog) {
    start();
    auto* button = child<QPushButton>("ButtonLog");
    EXPECT_EQ(button->text(), "Save log");
    chosenLogFile = "";  // cancelled
    form->ButtonLogClick();
    EXPECT_FALSE(form->logging());
    EXPECT_EQ(button->toolTip(), "Save received data to CSV file");
    EXPECT_EQ(dialogFolders.back(), QCoreApplication::applicationDirPath().toStdString());

    chosenLogFile = folder.file("session");  // no extension
    form->ButtonLogClick();
    ASSERT_TRUE(form->logging());
    EXPECT_EQ(button->text(), "Stop log");
    EXPECT_EQ(child<QLabel>("LabelLog")->text(), "session.csv");
    EXPECT_EQ(child<QLabel>("LabelLog")->geometry().right() + 1, 382);
    EXPECT_EQ(button->toolTip(), "Stop saving CSV file");
    test::L6Fields a, b;
    b.chn = 1;
    form->inputBlockReceived(test::concat({test::l6Frame(a), test::l6Frame(b)}));
    form->ButtonLogClick();
    EXPECT_FALSE(form->logging());
    EXPECT_EQ(button->text(), "Start log");
    const std::string csv = readAll(folder.file("session.csv"));
    EXPECT_TRUE(csv.starts_with(std::string(kDefaultCsvHeader) + "\r\n"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << "header and two pairs";

    // The same name again: asked, and "No" changes nothing.
    chosenLogFile = folder.file("session.csv");
    overwrite = false;
    form->ButtonLogClick();
    EXPECT_FALSE(form->logging());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], folder.file("session.csv") + " exists.\r\n\r\nOverwrite?");
    EXPECT_EQ(readAll(folder.file("session.csv")), csv);
    EXPECT_EQ(dialogFolders.back(), folder.path()) << "the folder of the last log";
    overwrite = true;
    form->ButtonLogClick();
    EXPECT_TRUE(form->logging());
    EXPECT_EQ(readAll(folder.file("session.csv")), std::string(kDefaultCsvHeader) + "\r\n");

    closeWindow();  // the log stops with the window
    EXPECT_EQ(ProfileFile::load(iniPath()).readText("Option", "LogDir", ""), folder.path());
}

TEST_F(WindowSettingsTest, UbxFileRecordsTheInputStreamByteForByte) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("l6_two_channel_1h.ubx");
    start();
    chosenLogFile = folder.file("capture.UBX");
    form->ButtonLogClick();
    ASSERT_TRUE(form->logging());
    EXPECT_EQ(child<QLabel>("LabelLog")->text(), "capture.UBX");
    const Bytes part = test::slice(stream, 0, 50000);
    for (std::size_t at = 0; at < part.size(); at += 1000) form->inputBlockReceived(test::slice(part, at, 1000));
    // Read while the capture runs: every block is in the file as soon as it came.
    const std::string captured = readAll(folder.file("capture.UBX"));
    EXPECT_EQ(Bytes(captured.begin(), captured.end()), part);
    form->ButtonLogClick();
    EXPECT_FALSE(form->logging());
}

TEST_F(WindowSettingsTest, LogThatCannotBeCreatedSaysSo) {
    start();
    chosenLogFile = folder.file("no-such-folder/log.csv");
    form->ButtonLogClick();
    EXPECT_FALSE(form->logging());
    EXPECT_EQ(messages, std::vector<std::string>{"\nFile could not be created"});
    EXPECT_EQ(child<QLabel>("LabelLog")->text(), "");
}

TEST_F(WindowSettingsTest, LogOnAFullDiskSaysSoInTheStatusLine) {
    start();
    chosenLogFile = folder.file("full.csv");
    std::filesystem::create_symlink("/dev/full", chosenLogFile);
    overwrite = true;
    form->ButtonLogClick();  // the file opens; its header does not fit
    EXPECT_EQ(child<QLabel>("LabelErr")->text().toStdString(),
              "cannot write " + chosenLogFile + ": No space left on device");
    EXPECT_TRUE(messages.empty()) << "no message box for it";
}

TEST_F(WindowSettingsTest, SettingsPathThatIsAFifoIsLeftAloneAndTheUserToldOnceAtStart) {
    const std::string fifo = folder.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    start({fifo});
    const std::vector<std::string> told{
        "Cannot use this settings file: the window starts with its defaults and saves nothing there\r\n\r\n" + fifo +
        " (not a regular file)"};
    EXPECT_EQ(messages, told);
    closeWindow();
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(messages, told) << "nothing more at close";
}

}  // namespace
}  // namespace tessaly
