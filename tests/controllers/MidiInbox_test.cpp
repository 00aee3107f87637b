// The hand-over from a driver thread to the UI thread: short messages only, nothing lost or
// reordered while there is room, and an overflow counted rather than waited out.
#include "controllers/MidiInbox.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kelvra::controllers {
namespace {

TEST(MidiInbox, KeepsChannelMessagesAndDropsSystemOnesAndTruncatedOnes) {
    struct Case {
        std::vector<unsigned char> bytes;
        bool kept;
        MidiMessage message;
    };
    const Case cases[] = {
        {{0x90, 60, 100}, true, {0x90, 60, 100}},
        {{0x8F, 60, 0}, true, {0x8F, 60, 0}},
        {{0xB3, 7, 127}, true, {0xB3, 7, 127}},
        {{0xE0, 0, 64}, true, {0xE0, 0, 64}},
        {{0xC5, 12}, true, {0xC5, 12, 0}},  // program change: one data byte
        {{0xD0, 90}, true, {0xD0, 90, 0}},  // channel pressure: one data byte
        {{0x90, 60}, false, {}},            // cut short
        {{0x40, 60, 100}, false, {}},       // running status, not a status byte
        {{0xF0, 0x7E, 0x7F, 0xF7}, false, {}},
        {{0xF8}, false, {}},
        {{0xFE}, false, {}},
        {{0xF2, 0, 0}, false, {}},
        {{}, false, {}},
    };
    for (const Case& c : cases) {
        MidiMessage message;
        EXPECT_EQ(shortMessage(c.bytes.data(), c.bytes.size(), message), c.kept)
            << int(c.bytes.empty() ? 0 : c.bytes[0]);
        if (c.kept) {
            EXPECT_EQ(message, c.message);
        }
    }
}

TEST(MidiInbox, AProducerThreadsMessagesArriveInOrderAndAnOverflowIsCounted) {
    MidiInbox inbox;
    constexpr int kCount = 200000;
    std::thread producer([&] {
        for (int i = 0; i < kCount; ++i) {
            const MidiMessage m{std::uint8_t(0x90 | (i % 16)), std::uint8_t(i % 128),
                                std::uint8_t((i / 128) % 128)};
            while (!inbox.push(m))
                std::this_thread::yield();
        }
    });
    int next = 0;
    while (next < kCount) {
        MidiMessage m;
        if (!inbox.pop(m)) continue;
        const MidiMessage want{std::uint8_t(0x90 | (next % 16)), std::uint8_t(next % 128),
                               std::uint8_t((next / 128) % 128)};
        ASSERT_EQ(m, want) << "message " << next;
        ++next;
    }
    producer.join();
    const std::uint64_t retried = inbox.dropped();  // the producer's refused pushes

    // Nobody draining: the inbox holds its capacity and counts the rest.
    for (std::size_t i = 0; i < MidiInbox::kCapacity + 5; ++i)
        inbox.push({0xB0, 1, 2});
    EXPECT_EQ(inbox.dropped() - retried, 5u);
    MidiMessage m;
    std::size_t kept = 0;
    while (inbox.pop(m))
        ++kept;
    EXPECT_EQ(kept, MidiInbox::kCapacity);
}

}  // namespace
}  // namespace kelvra::controllers
