// The main window on the offscreen platform, driven as its events drive it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <atomic>
#include <csignal>

#include <unistd.h>

#include "app/application.h"
#include "app/form_main.h"
#include "links/stop_signals.h"
#include "app/message_box.h"
#include "app/string_grid.h"
#include "tests/fake_delay_timer.h"
#include "tests/tcp_peer.h"
#include "tests/window_waits.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

class SteppingClock final : public MillisecondClock {
public:
    std::uint32_t nowMs() const override { return now; }
    std::uint32_t now = 10000;
};

class FormMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TFormMain>(options());
        form->show();
        QCoreApplication::processEvents();
    }
    virtual FormOptions options() {
        FormOptions o;
        o.localeName = "en_US";
        o.clock = &clock;
        o.timer = &timer;
        // The settings file goes beside a program in a folder of the test's own.
        o.programPath = folder.file("tessaly-monitor");
        o.configHome = folder.file("config");
        // Yes to the cold start's question, which the runs below take for granted.
        o.askYesNo = [](const QString&) { return true; };
        return o;
    }
    template <typename T>
    T* child(const char* name) {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    std::string labelErr() { return child<QLabel>("LabelErr")->text().toStdString(); }
    // Idle notifications until the tenth one has done its work, 200 ms apart.
    void idle() {
        for (int i = 0; i < 10; ++i) {
            clock.now += 20;
            form->ApplicationEvents1Idle();
        }
    }
    void feed(const test::Bytes& bytes) { form->inputBlockReceived(bytes); }

    test::TempFolder folder;
    SteppingClock clock;
    test::FakeDelayTimer timer;  // outlives the window, which hands it tasks
    std::unique_ptr<TFormMain> form;
};

struct ControlCase {
    const char* name;
    QRect bounds;
    const char* text;
    bool visible;
    bool enabled;
};

TEST_F(FormMainTest, EveryControlAtItsPlaceWithItsCaptionAndState) {
    EXPECT_EQ(form->size(), QSize(482, 409));
    const ControlCase controls[] = {
        // After the first activation with the default commands: lettered, closed up.
        {"ButtonCmd1", {8, 5, 16, 22}, "H", true, true},
        {"ButtonCmd2", {23, 5, 16, 22}, "W", true, true},
        {"ButtonCmd3", {38, 5, 16, 22}, "C", true, true},
        {"ButtonCmd4", {53, 5, 16, 22}, "D", true, true},
        {"ButtonLog", {414, 5, 60, 22}, "Save log", true, true},
        {"StringGrid1", {8, 32, 229, 243}, nullptr, true, true},
        {"StringGrid2", {245, 32, 229, 243}, nullptr, true, true},
        {"GroupBoxInput", {8, 281, 65, 50}, " Input ", true, true},
        {"RadioButtonSerial", {9, 15, 55, 15}, "Serial", true, true},
        {"RadioButtonTCP", {9, 31, 55, 15}, "TCP", true, true},
        {"GroupBoxSerial", {79, 281, 395, 50}, " Serial input : NEO-D9C ", true, true},
        {"ComboBoxPort", {45, 18, 121, 21}, "COM1", true, true},
        {"ComboBoxBaud", {210, 18, 60, 21}, "115200", true, true},
        {"ButtonOpen", {290, 16, 40, 25}, "Open", true, true},
        {"ButtonClose", {340, 16, 40, 25}, "Close", true, false},
        {"GroupBoxTCP", {79, 281, 395, 50}, " TCP input : NEO-D9C ", false, true},
        {"LabeledEditTcpHost", {45, 18, 121, 21}, "", false, true},
        {"LabeledEditTcpPort", {210, 18, 60, 21}, "", false, true},
        {"ButtonTCPopen", {290, 16, 40, 25}, "Open", false, true},
        {"ButtonTCPclose", {340, 16, 40, 25}, "Close", false, false},
        {"GroupBoxOutput", {8, 333, 65, 50}, " Output ", true, true},
        {"RadioButtonSerial2", {9, 15, 55, 15}, "Serial", true, true},
        {"RadioButtonTCP2", {9, 31, 55, 15}, "TCP", true, true},
        {"GroupBoxSerial2", {79, 333, 395, 50}, " Serial output : ZED-F9P ", true, true},
        {"ComboBoxPort2", {45, 18, 121, 21}, "COM2", true, true},
        {"ComboBoxBaud2", {210, 18, 60, 21}, "115200", true, true},
        {"ButtonOpen2", {290, 16, 40, 25}, "Open", true, true},
        {"ButtonClose2", {340, 16, 40, 25}, "Close", true, false},
        {"GroupBoxTCP2", {79, 333, 395, 50}, " TCP output : ZED-F9P ", false, true},
        {"LabeledEditTcpHost2", {45, 18, 121, 21}, "localhost", false, true},
        {"LabeledEditTCPport2", {210, 18, 60, 21}, "5555", false, true},
        {"ButtonTCPopen2", {290, 16, 40, 25}, "Open", false, true},
        {"ButtonTCPclose2", {340, 16, 40, 25}, "Close", false, false},
    };
    for (const ControlCase& c : controls) {
        QWidget* widget = child<QWidget>(c.name);
        if (!widget) continue;
        EXPECT_EQ(widget->geometry(), c.bounds) << c.name;
        EXPECT_EQ(widget->isVisible(), c.visible) << c.name;
        EXPECT_EQ(widget->isEnabled(), c.enabled) << c.name;
        if (!c.text) continue;
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(widget)) text = b->text();
        if (auto* g = qobject_cast<QGroupBox*>(widget)) text = g->title();
        if (auto* e = qobject_cast<QLineEdit*>(widget)) text = e->text();
        if (auto* combo = qobject_cast<QComboBox*>(widget)) text = combo->currentText();
        EXPECT_EQ(text.toStdString(), c.text) << c.name;
    }
    EXPECT_TRUE(child<QRadioButton>("RadioButtonSerial")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("RadioButtonSerial2")->isChecked());
    EXPECT_EQ(child<QComboBox>("ComboBoxPort")->count(), 20);
    EXPECT_EQ(child<QComboBox>("ComboBoxBaud")->itemText(12), "921600");
    EXPECT_EQ(child<QComboBox>("ComboBoxBaud")->maxVisibleItems(), 15);
    // Right edges of the right-aligned labels.
    EXPECT_EQ(child<QLabel>("LabelPort")->geometry().right() + 1, 40);
    EXPECT_EQ(child<QLabel>("LabelBaud")->geometry().right() + 1, 205);
    EXPECT_EQ(child<QLabel>("LabelErr")->pos(), QPoint(76, 13));
    EXPECT_EQ(child<QPushButton>("ButtonCmd4")->toolTip(), "Default configuration");
    EXPECT_EQ(child<QLabel>("LabeledEditTcpHostLabel")->text(), "Host ");
    auto* timer = child<QTimer>("Timer1");
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 1000);
}

TEST_F(FormMainTest, FirstActivationOnceThenNothing) {
    ASSERT_TRUE(form->firstActivationDone());
    EXPECT_EQ(form->windowTitle(), "Tessaly Monitor Ver1.08");
    const ChannelGrid& grid = form->monitorView().grid(Channel::B);
    EXPECT_EQ(grid.cell(kTitleColumn, 0), "Channel name");
    EXPECT_EQ(grid.cell(kTitleColumn, 14), "Alert");
    EXPECT_EQ(child<QRadioButton>("RadioButtonTCP2")->toolTip(), "Output data to ZED-F9P via TCP");
    EXPECT_EQ(form->messageText(UiText::CannotOpenTcpHost), "Cannot open TCP host");
    EXPECT_TRUE(child<QPushButton>("ButtonOpen")->hasFocus() || !form->isActiveWindow());

    form->FormActivate();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(form.get(), &activate);
    EXPECT_EQ(form->windowTitle(), "Tessaly Monitor Ver1.08");
}

class JapaneseFormTest : public FormMainTest {
protected:
    FormOptions options() override {
        FormOptions o = FormMainTest::options();
        o.localeName = "ja_JP.UTF-8";
        return o;
    }
};

TEST_F(JapaneseFormTest, HintsAndMessagesInJapaneseCaptionsInEnglish) {
    EXPECT_EQ(form->uiLanguage(), UiLanguage::Japanese);
    EXPECT_EQ(child<QRadioButton>("RadioButtonSerial")->toolTip().toStdString(),
              "シリアルポートからNEO-D9Cのデータを入力する");
    EXPECT_EQ(child<QLabel>("LabelErr")->toolTip().toStdString(),
              "Firmware version / チャンネルAとBの両方ともエラーになった回数");
    EXPECT_EQ(form->messageText(UiText::SamePort), "入力と出力の Port が同じです");
    EXPECT_EQ(child<QPushButton>("ButtonOpen")->text(), "Open");
}

TEST_F(FormMainTest, CommandButtonStaysDisabledUntilItsRunEndsASecondLater) {
    auto* cold = child<QPushButton>("ButtonCmd3");
    form->ButtonCmd3Click();
    EXPECT_FALSE(cold->isEnabled());
    EXPECT_EQ(form->monitorView().statusText(), "Cold start");
    timer.advance(999);
    EXPECT_FALSE(cold->isEnabled());
    EXPECT_EQ(form->monitorView().statusText(), "Cold start") << "no reset before the receiver's second";
    form->ButtonCmd3Click();  // the disabled button, clicked by code: no second run
    timer.advance(1);
    EXPECT_TRUE(cold->isEnabled());
    EXPECT_EQ(form->monitorView().statusText(), "") << "the monitor reset";
    form->monitorView().setStatusText("FWVER=QZS 1.01");
    timer.advance(5000);
    EXPECT_EQ(form->monitorView().statusText(), "FWVER=QZS 1.01") << "the firmware text stays";
}

TEST_F(FormMainTest, ClosingMidRunLeavesNothingToCome) {
    form->ButtonCmd3Click();
    timer.advance(500);
    form->close();
    timer.advance(5000);
    EXPECT_EQ(form->monitorView().statusText(), "Cold start") << "no reset after the close";
    EXPECT_TRUE(child<QPushButton>("ButtonCmd3")->isEnabled()) << "no button left disabled";
}

TEST_F(FormMainTest, RecordedStreamFillsBothGridsAndTheStatusLine) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("l6_two_channel_1h.ubx");
    feed(test::slice(stream, 0, 1024));
    EXPECT_EQ(labelErr(), "FWVER=QZS 1.01");
    const ChannelGrid& a = form->monitorView().grid(Channel::A);
    const ChannelGrid& b = form->monitorView().grid(Channel::B);
    EXPECT_EQ(a.cell(kValueColumn, 0), "A");
    EXPECT_EQ(b.cell(kValueColumn, 0), "B");
    EXPECT_EQ(a.cell(kValueColumn, kRowPrn), "194");
    EXPECT_EQ(b.cell(kValueColumn, kRowPrn), "196");
    for (std::size_t at = 1024; at < stream.size(); at += 1024) feed(test::slice(stream, at, 1024));
    EXPECT_TRUE(labelErr().starts_with("Error count: 117  ")) << labelErr();
}

TEST_F(FormMainTest, SilentChannelEmptiesAtTheFifthTimerTick) {
    test::L6Fields f;
    feed(test::l6Frame(f));
    for (int tick = 0; tick < 4; ++tick) form->Timer1Timer();
    EXPECT_EQ(form->monitorView().grid(Channel::A).cell(kValueColumn, 0), "A");
    form->Timer1Timer();
    EXPECT_EQ(form->monitorView().grid(Channel::A).cell(kValueColumn, 0), "");
}

TEST_F(FormMainTest, IconWarnsWhileAnOpenInputHasNoGoodPair) {
    const qint64 goodKey = form->windowIcon().cacheKey();
    idle();
    EXPECT_EQ(form->shownIcon(), StatusIconKind::Good) << "no input open: nothing to warn about";

    testing::TcpPeer receiver;
    child<QLineEdit>("LabeledEditTcpHost")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>("LabeledEditTcpPort")->setText(QString::number(receiver.port()));
    form->ButtonTCPopenClick();
    test::untilOpensEnded(*form);
    ASSERT_TRUE(form->IdTCPClient1().connected());
    idle();
    EXPECT_EQ(form->shownIcon(), StatusIconKind::Warning);
    EXPECT_NE(form->windowIcon().cacheKey(), goodKey);

    test::L6Fields a, b;
    b.chn = 1;
    feed(test::concat({test::l6Frame(a), test::l6Frame(b)}));
    idle();
    EXPECT_EQ(form->shownIcon(), StatusIconKind::Good);
    EXPECT_EQ(form->windowIcon().cacheKey(), goodKey);

    a.errStatus = b.errStatus = 2;
    feed(test::concat({test::l6Frame(a), test::l6Frame(b)}));
    idle();
    EXPECT_EQ(form->shownIcon(), StatusIconKind::Warning) << "a pair in which both failed";
    form->ButtonTCPcloseClick();
    idle();
    EXPECT_EQ(form->shownIcon(), StatusIconKind::Good) << "the input closed with its Close button";
}

TEST_F(FormMainTest, GridPaintsTroubleCellsAndTheHeaderSeparator) {
    test::L6Fields f;
    f.errStatus = 2;
    feed(test::l6Frame(f));
    auto* grid = child<StringGrid>("StringGrid1");
    const QImage image = grid->grab().toImage();
    const auto colourIn = [&](int column, int row) {
        const QRect cell = grid->cellRect(column, row);
        return image.pixelColor(cell.right() - 3, cell.center().y());
    };
    EXPECT_EQ(colourIn(1, kRowErrorStatus), QColor(255, 0, 0));
    EXPECT_NE(colourIn(1, kRowBitErrCorr), QColor(255, 255, 0)) << "\"-\" stays plain";
    EXPECT_NE(colourIn(0, kRowErrorStatus), QColor(255, 0, 0)) << "titles are never coloured";
    const QRect groupDelay = grid->cellRect(1, kRowGroupDelay);
    EXPECT_EQ(image.pixelColor(groupDelay.center().x(), groupDelay.bottom() + 1), QColor(192, 192, 192));

    f.errStatus = 1;
    f.bitErrCorr = 3;
    f.header[6] = 0x80;  // alert
    feed(test::l6Frame(f));
    const QImage after = grid->grab().toImage();
    const QRect bitErr = grid->cellRect(1, kRowBitErrCorr);
    EXPECT_EQ(after.pixelColor(bitErr.right() - 3, bitErr.center().y()), QColor(255, 255, 0));
    const QRect alert = grid->cellRect(1, kRowAlert);
    EXPECT_EQ(after.pixelColor(alert.right() - 3, alert.center().y()), QColor(255, 0, 0));
    const QRect status = grid->cellRect(1, kRowErrorStatus);
    EXPECT_NE(after.pixelColor(status.right() - 3, status.center().y()), QColor(255, 0, 0));
}

// Closes the next modal box once it shows, and remembers its text and where it was.
struct BoxCloser {
    QString text;
    QRect geometry;
    void arm() {
        QTimer::singleShot(0, [this] { closeWhenShown(); });
    }
    void closeWhenShown() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(5, [this] { closeWhenShown(); });
            return;
        }
        text = box->text();
        geometry = box->frameGeometry();
        box->done(QMessageBox::Ok);
    }
};

TEST_F(FormMainTest, MessageBoxStaysInsideTheWorkAreaOfAWindowPartlyOffScreen) {
    const QRect work = workAreaOf(form.get());
    form->move(work.left() - 300, work.top() - 200);
    BoxCloser closer;
    closer.arm();
    centredMessageBox(form.get(), QStringLiteral("Cannot open COM port"), QMessageBox::Critical, QMessageBox::Ok);
    EXPECT_EQ(closer.text, "Cannot open COM port");
    EXPECT_TRUE(work.contains(closer.geometry.topLeft())) << closer.geometry.x() << "," << closer.geometry.y();
}

TEST_F(FormMainTest, ErrorEscapingAHandlerIsShownAndTheProgramGoesOn) {
    class Throwing : public QObject {
    protected:
        bool event(QEvent* e) override {
            if (e->type() == QEvent::User) throw std::runtime_error("'x' is not a valid integer value");
            return QObject::event(e);
        }
    } thrower;
    BoxCloser closer;
    closer.arm();
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    EXPECT_EQ(closer.text, "'x' is not a valid integer value");
    EXPECT_TRUE(form->isVisible());
}

TEST_F(FormMainTest, StopSignalEndsAnOpenMessageBoxAndClosesTheWindowInOrder) {
    auto* app = static_cast<TessalyApplication*>(QCoreApplication::instance());
    app->closeOnStop(form.get());
    ASSERT_TRUE(form->isVisible());
    // A box the window waits on, as for a link that cannot be opened at start; the stop comes
    // while it is open.
    bool boxEnded = false;
    QTimer::singleShot(0, form.get(), [&] {
        QTimer::singleShot(50, [] { ::kill(::getpid(), SIGTERM); });
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Tessaly Monitor"), QStringLiteral("Cannot open TCP host"),
                        QMessageBox::Ok, form.get());
        box.exec();
        boxEnded = true;
    });
    const int status = QCoreApplication::exec();
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(boxEnded);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->monitorView().nameLists().svidPrn.empty()) << "the close sequence ran";
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
    std::atomic<tessaly::TessalyApplication*> running{nullptr};
    // First, as the program does it, so that no thread but the watcher takes SIGTERM.
    const tessaly::StopSignals stopSignals([&running] { running.load()->requestStop(); });
    ::testing::InitGoogleTest(&argc, argv);
    tessaly::TessalyApplication app(argc, argv);
    running = &app;
    return RUN_ALL_TESTS();
}
