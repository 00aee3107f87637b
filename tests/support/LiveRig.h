// The real program under a virtual X server of the test's own, driven by real key presses. A live
// test adds its own sound server and recorder; the rig starts X, runs tools in the test's
// environment, sends keys on a clock and stops every process it was given, last started first.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <initializer_list>
#include <vector>

namespace kelvra::test {

class LiveRig : public ::testing::Test {
  protected:
    // Skips the test where a tool is missing; SetUp then returns on IsSkipped().
    void requireTools(std::initializer_list<const char*> tools) {
        for (const char* tool : tools)
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
    }

    // A private home and configuration, and an X server on a free display it names itself.
    void startX() {
        ASSERT_TRUE(dir.isValid());
        for (const char* sub : {"home", "config"})
            QDir(dir.path()).mkpath(sub);
        env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.filePath("home"));
        env.insert("KELVRA_CONFIG_DIR", dir.filePath("config"));
        env.insert("QT_QPA_PLATFORM", "xcb");
        start(xserver, "Xvfb",
              {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        ASSERT_TRUE(xserver.waitForReadyRead(10000)) << "Xvfb did not start";
        env.insert("DISPLAY", ":" + QString::fromLatin1(xserver.readAllStandardOutput()).trimmed());
    }

    // Starts a long-running process in the test's environment; TearDown stops it.
    void start(QProcess& process, const QString& tool, const QStringList& args) {
        process.setProcessEnvironment(env);
        // A test that dies takes its servers and programs with it: one left behind would hold
        // the test's output open and keep the test runner waiting for ever.
        process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process.start(tool, args);
        running.push_back(&process);
    }

    // A dummy JACK server named `name` for the program (KELVRA_AUDIO=jack) and for this process,
    // up once jack_lsp reaches it. One fixed name a test: JACK keeps only a few server names,
    // and one used again replaces the stale entry a killed run may have left.
    void startJack(QProcess& server, const QString& name, int rate, int playbackPorts) {
        env.insert("KELVRA_AUDIO", "jack");
        env.insert("JACK_DEFAULT_SERVER", name);
        qputenv("JACK_DEFAULT_SERVER", name.toUtf8());
        start(server, "jackd",
              {"--no-realtime", "--name", name, "-d", "dummy", "--rate", QString::number(rate),
               "--period", "256", "--playback", QString::number(playbackPorts)});
        ASSERT_TRUE(waitFor("jack_lsp", {})) << "the JACK server did not start";
    }

    // X and a dummy JACK server of `rate` with `playbackPorts` ports, for a program that plays
    // into JACK; skips the test where a tool is missing.
    void startJackRig(const QString& name, int rate, int playbackPorts) {
        requireTools({"Xvfb", "xdotool", "jackd", "jack_rec", "jack_lsp"});
        if (IsSkipped()) return;
        ASSERT_NO_FATAL_FAILURE(startX());
        ASSERT_NO_FATAL_FAILURE(startJack(jack, name, rate, playbackPorts));
    }

    // jack_rec records the program's `ports` into `path` for `seconds`; the clock starts with it.
    void startRecorder(const QString& path, int seconds, const QStringList& ports) {
        QStringList args{"-f", path, "-d", QString::number(seconds), "-b", "16"};
        for (const QString& port : ports)
            args << "kelvra:" + port;
        recorder.setProcessChannelMode(QProcess::MergedChannels);
        start(recorder, "jack_rec", args);
        ASSERT_TRUE(recorder.waitForStarted());
        clock.start();
    }

    // The program with a song on its command line, once its main window is up and settled.
    void startProgram(const QString& song) {
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start(program, KELVRA_PROGRAM_PATH, {song});
        ASSERT_EQ(run("xdotool", {"search", "--sync", "--name", "Kelvra - "}), 0);
        QThread::msleep(1000);
    }

    // Runs a tool to its end; its exit code, or -1 when it hangs.
    int run(const QString& tool, const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(tool, args);
        if (!process.waitForFinished(15000)) return -1;
        return process.exitCode();
    }

    // Waits until `tool args` succeeds, for up to five seconds.
    bool waitFor(const QString& tool, const QStringList& args) {
        for (int i = 0; i < 50; ++i) {
            QThread::msleep(100);
            if (run(tool, args) == 0) return true;
        }
        return false;
    }

    // Sends keys `at` seconds after `clock` started.
    void keysAt(double at, const QStringList& args) {
        const qint64 due = qint64(at * 1000) - clock.elapsed();
        if (due > 0) QThread::msleep(static_cast<unsigned long>(due));
        EXPECT_EQ(run("xdotool", args), 0) << args.join(' ').toStdString();
    }

    void TearDown() override {
        for (auto it = running.rbegin(); it != running.rend(); ++it) {
            QProcess* process = *it;
            if (process->state() == QProcess::NotRunning) continue;
            process->terminate();
            if (!process->waitForFinished(3000)) process->kill();
            process->waitForFinished(1000);
        }
        qunsetenv("JACK_DEFAULT_SERVER");
    }

    QTemporaryDir dir;
    QProcessEnvironment env;
    QProcess xserver, program, jack, recorder;
    QElapsedTimer clock;

  private:
    std::vector<QProcess*> running;
};

}  // namespace kelvra::test
