// The MIDI devices against a real JACK server (jackd -d dummy, the test's own) and a small JACK
// client standing in for a controller: remembered devices open when they appear, what the
// controller plays reaches the UI thread exact and in order, lights reach the controller, and
// unplugging it mid-set is told to the DJ, stops nothing, and ends when it is plugged back in.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <memory>

#include "controllers/MidiDevices.h"
#include "support/DummyJackServer.h"
#include "support/JackMidiClient.h"

namespace kelvra::controllers {
namespace {

using test::DummyJackServer;
using test::JackMidiClient;
using Bytes = std::vector<unsigned char>;

const QString kFromController = QStringLiteral("test-controller:out");
const QString kToController = QStringLiteral("test-controller:in");

// Runs the UI thread's event loop until `done`, for up to `ms`.
bool waitUntil(const std::function<bool()>& done, int ms = 4000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// A controller's worth of traffic across all channels, with the system messages a controller
// also sends (SysEx, clock, active sensing) mixed in; only the channel messages are expected.
void makeSet(std::vector<Bytes>& played, std::vector<MidiMessage>& expected, int round) {
    for (int i = 0; i < 120; ++i) {
        const auto channel = static_cast<unsigned char>(i % 16);
        const auto note = static_cast<unsigned char>((i * 7 + round) % 128);
        const Bytes messages[] = {
            {static_cast<unsigned char>(0x90 | channel), note, 100},
            {static_cast<unsigned char>(0xB0 | channel), 7, static_cast<unsigned char>(i % 128)},
            {static_cast<unsigned char>(0x80 | channel), note, 0}};
        for (const Bytes& m : messages) {
            played.push_back(m);
            expected.push_back({m[0], m[1], m[2]});
        }
        if (i % 10 == 0) played.push_back({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
        if (i % 4 == 0) played.push_back({0xF8});
        if (i % 25 == 0) played.push_back({0xFE});
    }
}

class MidiDevicesJack : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!DummyJackServer::installed()) GTEST_SKIP() << "jackd is not installed";
        server = std::make_unique<DummyJackServer>("midi-test");
        ASSERT_TRUE(server->up()) << "the dummy JACK server did not come up";
        controller = std::make_unique<JackMidiClient>();
        ASSERT_TRUE(controller->ok());
        clock = makeQtClock();
    }
    void TearDown() override {
        // Kelvra's clients and the controller close before their server stops.
        devices.reset();
        controller.reset();
        server.reset();
    }

    // Plays a set and checks it arrives on the UI thread, exact and in order.
    void playAndCheck(int round) {
        std::vector<Bytes> played;
        std::vector<MidiMessage> expected;
        makeSet(played, expected, round);
        received.clear();
        ASSERT_TRUE(controller->play(played));
        ASSERT_TRUE(waitUntil([&] { return received.size() >= expected.size(); }))
            << received.size() << " of " << expected.size() << " arrived";
        waitUntil([] { return false; }, 100);  // nothing more may follow
        ASSERT_EQ(received.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(received[i], expected[i]) << "message " << i;
        EXPECT_TRUE(offThread.empty()) << "a message was delivered off the UI thread";
    }

    // Lights sent from Kelvra reach the controller's input, in order.
    void lightAndCheck() {
        const std::size_t before = controller->heard().size();
        const std::vector<MidiMessage> lamps = {{0x90, 1, 127}, {0x90, 2, 0}, {0xB1, 20, 64}};
        for (const MidiMessage& lamp : lamps)
            devices->send(lamp);
        ASSERT_TRUE(waitUntil([&] { return controller->heard().size() >= before + 3; }));
        const auto heard = controller->heard();
        ASSERT_EQ(heard.size(), before + 3);
        for (std::size_t i = 0; i < lamps.size(); ++i)
            EXPECT_EQ(heard[before + i].message, lamps[i]) << "lamp " << i;
    }

    void makeDevices() {
        devices = std::make_unique<MidiDevices>(*clock, MidiApi::Jack);
        QObject::connect(devices.get(), &MidiDevices::received,
                         [this](MidiMessage message, const QString& input) {
                             if (QThread::currentThread() != qApp->thread())
                                 offThread.push_back(message);
                             EXPECT_EQ(input, kFromController);
                             received.push_back(message);
                         });
        QObject::connect(devices.get(), &MidiDevices::notice,
                         [this](const QString& text) { notices << text; });
    }

    std::unique_ptr<DummyJackServer> server;
    std::unique_ptr<JackMidiClient> controller;
    std::unique_ptr<Clock> clock;
    std::unique_ptr<MidiDevices> devices;
    std::vector<MidiMessage> received, offThread;
    QStringList notices;
};

TEST_F(MidiDevicesJack, RemembersPlaysLightsAndSurvivesUnpluggingMidSet) {
    // Start-up with the controller remembered but not plugged in yet: nothing to open, no word.
    makeDevices();
    EXPECT_EQ(devices->problem(), QString());
    devices->setChosenInputs({kFromController});
    devices->setChosenOutputs({kToController});
    EXPECT_TRUE(devices->openInputs().isEmpty());

    // Plugged in: the hot-plug timer finds and opens it, under Kelvra's name.
    ASSERT_TRUE(controller->plugIn());
    ASSERT_TRUE(waitUntil([&] { return devices->openInputs() == QStringList{kFromController}; }))
        << devices->inputs().join(", ").toStdString();
    ASSERT_TRUE(waitUntil([&] { return devices->openOutputs() == QStringList{kToController}; }));
    EXPECT_TRUE(notices.isEmpty()) << notices.join('\n').toStdString();
    const char** links = jack_port_get_all_connections(controller->client(), controller->outPort());
    ASSERT_NE(links, nullptr);
    EXPECT_TRUE(QString::fromUtf8(links[0]).startsWith("kelvra-midi")) << links[0];
    jack_free(links);
    // Kelvra's own ports are not offered as devices.
    for (const QString& name : devices->inputs() + devices->outputs())
        EXPECT_FALSE(name.startsWith("kelvra")) << name.toStdString();

    playAndCheck(0);
    lightAndCheck();

    // Unplugged mid-set: one word per port, naming the device, and the choice is kept.
    controller->unplug();
    ASSERT_TRUE(waitUntil([&] { return notices.size() >= 2; })) << notices.size();
    EXPECT_EQ(notices,
              QStringList({"The MIDI device \"test-controller:out\" was unplugged; its controls "
                           "are idle until it is back.",
                           "The MIDI device \"test-controller:in\" was unplugged; its lights stay "
                           "dark until it is back."}));
    EXPECT_TRUE(devices->openInputs().isEmpty());
    EXPECT_EQ(devices->chosenInputs(), QStringList{kFromController});
    devices->send({0x90, 1, 127});  // lights for a device not there go nowhere, quietly

    // Plugged back in: reopened without a restart, and the DJ hears it is back.
    notices.clear();
    ASSERT_TRUE(controller->plugIn());
    ASSERT_TRUE(waitUntil(
        [&] { return devices->openInputs().size() == 1 && devices->openOutputs().size() == 1; }));
    EXPECT_EQ(notices, QStringList({"The MIDI device \"test-controller:out\" is back.",
                                    "The MIDI device \"test-controller:in\" is back."}));
    playAndCheck(1);
    lightAndCheck();
    EXPECT_EQ(devices->droppedMessages(), 0u);

    // Left out of the choice: closed, and its traffic no longer arrives.
    devices->setChosenInputs({});
    EXPECT_TRUE(devices->openInputs().isEmpty());
    received.clear();
    ASSERT_TRUE(controller->play({{0x90, 60, 100}}));
    waitUntil([] { return false; }, 200);
    EXPECT_TRUE(received.empty());
}

// No server: no devices, a reason for the options window, and no hang.
TEST(MidiDevicesJackAbsent, WithoutAServerTheListsAreEmptyAndSayWhy) {
    setenv("JACK_DEFAULT_SERVER", "kelvra-midi-absent", 1);
    auto clock = makeQtClock();
    MidiDevices devices(*clock, MidiApi::Jack);
    EXPECT_TRUE(devices.inputs().isEmpty());
    EXPECT_TRUE(devices.outputs().isEmpty());
    EXPECT_FALSE(devices.problem().isEmpty());
    devices.setChosenInputs({kFromController});
    EXPECT_TRUE(devices.openInputs().isEmpty());
    unsetenv("JACK_DEFAULT_SERVER");
}

}  // namespace
}  // namespace kelvra::controllers
