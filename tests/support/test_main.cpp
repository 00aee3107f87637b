// Test entry: a QApplication exists for every test, on the offscreen platform unless told else.
#include <gtest/gtest.h>

#include <QApplication>

// Leaks the sanitizer builds overlook: not Kelvra's, and not growing. RtMidi's JACK ports make
// two ring buffers they free only when a server was reached, so a MIDI port opened without a
// JACK server leaves them behind (Kelvra makes no JACK ring buffer itself; the stacks stop inside
// libjack, built without frame pointers). Read by LeakSanitizer, unused elsewhere.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:jack_ringbuffer_create\n";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
