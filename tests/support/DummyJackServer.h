// A dummy JACK server of the test's own (jackd -d dummy, no sound card), started under a name
// no other test uses and stopped when it goes out of scope. The name is the same on every run:
// JACK keeps the names of servers whose clients were killed and refuses new ones after a few. The
// process's JACK clients, the program's and the test's, find it through JACK_DEFAULT_SERVER.
#pragma once

#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace kelvra::test {

class DummyJackServer {
  public:
    // `purpose` keeps the names of servers started by different tests apart.
    explicit DummyJackServer(const std::string& purpose = "test", int rate = 48000,
                             int period = 256)
        : name_("kelvra-" + purpose) {
        using namespace std::chrono_literals;
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        pid_ = fork();
        if (pid_ == 0) {
            // A test that dies takes its server with it: one left behind would hold the test's
            // output open and keep the test runner waiting for ever.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const std::string rateText = std::to_string(rate), periodText = std::to_string(period);
            execlp("jackd", "jackd", "--no-realtime", "--name", name_.c_str(), "-d", "dummy",
                   "--rate", rateText.c_str(), "--period", periodText.c_str(), "--playback", "4",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        // Up once a client can join it.
        for (int i = 0; i < 100 && !up_; ++i) {
            std::this_thread::sleep_for(50ms);
            if (jack_client_t* probe = jack_client_open("probe-up", JackNoStartServer, nullptr)) {
                jack_client_close(probe);
                up_ = true;
            }
        }
    }
    ~DummyJackServer() {
        stop();
        unsetenv("JACK_DEFAULT_SERVER");
    }
    DummyJackServer(const DummyJackServer&) = delete;
    DummyJackServer& operator=(const DummyJackServer&) = delete;

    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool up() const { return up_; }
    const std::string& name() const { return name_; }

    static bool installed() { return std::system("command -v jackd >/dev/null 2>&1") == 0; }

  private:
    std::string name_;
    pid_t pid_ = -1;
    bool up_ = false;
};

}  // namespace kelvra::test
