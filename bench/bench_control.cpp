// The control channel against the headless program on the virtual port, run as a separate
// process on the first core while the clients run on the second:
//
//   state      a `state` request's round trip while a client polls the serial line with "e",
//              a thousand times a second and then flat out (under 1 ms asked);
//   subscriber round trips of "E" paced at 10,000 a second, without and then with a control
//              client subscribed to every event (slower by under 5 % asked);
//   goto       a 90-degree goto in azimuth with the mount's clock at rate 100, set over the
//              channel: from the goto's reply to the slew's end event, and to the first "L"
//              that answers "0" (the full profile's slew rate decides what to expect).
//
//   bench_control [state|subscriber|goto|all] [program=the build's tqx-orbivo-emulator]

#include "BenchProcess.h"

#include "RoundTrip.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace {

using roundtrip::Clock;

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "bench_control: %s\n", what.c_str());
    std::exit(1);
}

using benchprocess::pinToCore;
using benchprocess::readFully;

struct Program
{
    pid_t pid = -1;
    std::string runtime;
    std::string link() const { return runtime + "/tqx-orbivo-emulator.pty"; }
    std::string control() const { return runtime + "/tqx-orbivo-emulator.control"; }
};

// Starts the program in a runtime folder of its own and waits for its control socket.
Program start(const std::string &program)
{
    char folder[] = "/tmp/bench_control.XXXXXX";
    if (!::mkdtemp(folder))
        fail("no temporary folder");
    Program started;
    started.runtime = folder;
    const std::string runtimeVariable = "XDG_RUNTIME_DIR=" + started.runtime;
    std::vector<char *> environment;
    for (char **entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "XDG_RUNTIME_DIR=", 16) != 0)
            environment.push_back(*entry);
    }
    environment.push_back(const_cast<char *>(runtimeVariable.c_str()));
    environment.push_back(nullptr);
    std::vector<std::string> arguments {program,     "--headless", "--port", "virtual",
                                        "--profile", "full",       "--log",  "/dev/null"};
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&started.pid, program.c_str(), &actions, nullptr, argv.data(),
                    environment.data())
        != 0)
        fail("cannot start " + program);
    posix_spawn_file_actions_destroy(&actions);
    pinToCore(started.pid, 0);
    for (int i = 0; i < 500 && ::access(started.control().c_str(), F_OK) != 0; ++i)
        ::usleep(10000);
    if (::access(started.control().c_str(), F_OK) != 0)
        fail("the program made no control socket");
    return started;
}

void stop(Program &program)
{
    ::kill(program.pid, SIGTERM);
    int status = 0;
    ::waitpid(program.pid, &status, 0);
    ::rmdir(program.runtime.c_str());
}

int openSerial(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        fail("cannot open " + path);
    termios settings {};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

std::string exchange(int fd, const std::string &command, std::size_t replyLength)
{
    if (::write(fd, command.data(), command.size()) != ssize_t(command.size()))
        fail("cannot write to the serial line");
    std::string reply(replyLength, '\0');
    if (!readFully(fd, reply.data(), replyLength))
        fail("no reply to " + command);
    return reply;
}

// A control client: one line out, lines in.
class Control
{
public:
    explicit Control(const std::string &path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            fail("cannot connect to " + path);
    }
    ~Control() { ::close(m_fd); }

    void send(const std::string &line)
    {
        const std::string text = line + "\n";
        if (::write(m_fd, text.data(), text.size()) != ssize_t(text.size()))
            fail("cannot write to the control socket");
    }
    // The next line, or empty after `timeoutMs`.
    std::string readLine(int timeoutMs = 10000)
    {
        for (;;) {
            const std::size_t end = m_buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            pollfd ready {m_fd, POLLIN, 0};
            if (::poll(&ready, 1, timeoutMs) <= 0)
                return {};
            char chunk[65536];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            m_buffer.append(chunk, std::size_t(n));
        }
    }
    std::string ask(const std::string &request)
    {
        send(request);
        std::string line;
        do
            line = readLine();
        while (line.rfind("{\"event\"", 0) == 0);
        if (line.find("\"ok\":true") == std::string::npos)
            fail(request + " answered " + line);
        return line;
    }

private:
    int m_fd = -1;
    std::string m_buffer;
};

// The serial client polls flat out (`pauseUs` 0) or with a pause between polls, as client
// software that refreshes its display does.
void benchState(const std::string &program, int pauseUs)
{
    Program running = start(program);
    const int serial = openSerial(running.link());
    std::atomic<bool> polling {true};
    std::atomic<long long> polls {0};
    std::thread poller([&] {
        while (polling) {
            exchange(serial, "e", 18);
            ++polls;
            if (pauseUs > 0)
                ::usleep(useconds_t(pauseUs));
        }
    });
    Control control(running.control());
    constexpr int requests = 3000;
    std::vector<double> latencies;
    const auto begin = Clock::now();
    for (int i = 0; i < requests; ++i) {
        const auto start = Clock::now();
        control.ask(R"({"request":"state"})");
        latencies.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    polling = false;
    poller.join();
    roundtrip::report(pauseUs > 0 ? "state, e polled (us)" : "state, e polled flat out (us)",
                      latencies);
    std::printf("%-30s max %.1f us; the serial client polled e %.0f times a second meanwhile\n", "",
                *std::max_element(latencies.begin(), latencies.end()),
                double(polls.load()) / seconds);
    ::close(serial);
    stop(running);
}

// Round trips of "E", one every 100 us.
std::vector<double> pacedRoundTrips(int fd, int exchanges)
{
    std::vector<double> latencies;
    latencies.reserve(std::size_t(exchanges));
    auto next = Clock::now();
    char reply[10];
    for (int i = 0; i < exchanges; ++i) {
        while (Clock::now() < next) { }
        next += std::chrono::microseconds(100);
        const auto start = Clock::now();
        if (::write(fd, "E", 1) != 1 || !readFully(fd, reply, sizeof reply))
            fail("no reply to E");
        latencies.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return latencies;
}

// Alternates rounds without and with a subscriber, so that what else the machine does weighs on
// both alike. The subscriber reads what has come every 5 ms, as a harness that logs events would,
// rather than waking for each line.
void benchSubscriber(const std::string &program)
{
    Program running = start(program);
    const int serial = openSerial(running.link());
    constexpr int rounds = 6;
    constexpr int exchanges = 10000; // a second at 10,000 a second
    pacedRoundTrips(serial, 5000); // warm up
    std::vector<double> alone, watched;
    double aloneSeconds = 0, watchedSeconds = 0;
    long long events = 0;
    for (int round = 0; round < rounds; ++round) {
        auto begin = Clock::now();
        std::vector<double> latencies = pacedRoundTrips(serial, exchanges);
        aloneSeconds += std::chrono::duration<double>(Clock::now() - begin).count();
        alone.insert(alone.end(), latencies.begin(), latencies.end());

        Control subscriber(running.control());
        subscriber.ask(R"({"request":"subscribe"})");
        std::atomic<bool> reading {true};
        std::atomic<long long> read {0};
        std::thread reader([&] {
            while (reading) {
                ::usleep(5000);
                while (!subscriber.readLine(0).empty())
                    ++read;
            }
        });
        begin = Clock::now();
        latencies = pacedRoundTrips(serial, exchanges);
        watchedSeconds += std::chrono::duration<double>(Clock::now() - begin).count();
        watched.insert(watched.end(), latencies.begin(), latencies.end());
        ::usleep(100000);
        reading = false;
        reader.join();
        events += read;
    }
    const auto mean = [](const std::vector<double> &values) {
        double sum = 0;
        for (double value : values)
            sum += value;
        return sum / double(values.size());
    };
    roundtrip::report("E without a subscriber (us)", alone);
    roundtrip::report("E with a subscriber (us)", watched);
    std::printf("%-30s median %+.1f %%, mean %+.1f %%; %.0f and %.0f exchanges a second; "
                "%lld of %d events read\n",
                "slower with a subscriber",
                (roundtrip::percentile(watched, 0.5) / roundtrip::percentile(alone, 0.5) - 1) * 100,
                (mean(watched) / mean(alone) - 1) * 100, double(alone.size()) / aloneSeconds,
                double(watched.size()) / watchedSeconds, events, rounds * exchanges);
    ::close(serial);
    stop(running);
}

void benchGoto(const std::string &program)
{
    Program running = start(program);
    const int serial = openSerial(running.link());
    Control control(running.control());
    const std::string state = control.ask(R"({"request":"state"})");
    const std::size_t at = state.find("\"slew_rate\":\"");
    const double slewRate = at == std::string::npos ? 0 : std::atof(state.c_str() + at + 13);
    if (slewRate <= 0)
        fail("no slew rate in " + state);
    control.ask(R"({"request":"subscribe","kinds":["slew"]})");

    const auto waitForEnd = [&] {
        for (;;) {
            const std::string line = control.readLine();
            if (line.empty())
                fail("no slew end");
            if (line.find("\"change\":\"ended\"") != std::string::npos)
                return Clock::now();
        }
    };
    // From wherever the mount is to azimuth 0, altitude 45, quickly.
    control.ask(R"({"request":"set","time_rate":10000})");
    if (exchange(serial, "b00000000,20000000", 1) != "#")
        fail("the first goto was refused");
    waitForEnd();
    control.ask(R"({"request":"set","time_rate":100})");

    // Then 90 degrees in azimuth.
    const auto start = Clock::now();
    if (exchange(serial, "b40000000,20000000", 1) != "#")
        fail("the goto was refused");
    const double toEvent = std::chrono::duration<double>(waitForEnd() - start).count();
    control.ask(R"({"request":"set","time_rate":10000})");
    if (exchange(serial, "b00000000,20000000", 1) != "#")
        fail("the way back was refused");
    waitForEnd();
    control.ask(R"({"request":"set","time_rate":100})");
    const auto again = Clock::now();
    if (exchange(serial, "b40000000,20000000", 1) != "#")
        fail("the goto was refused");
    double toDone = 0;
    for (;;) {
        if (exchange(serial, "L", 2) == "0#") {
            toDone = std::chrono::duration<double>(Clock::now() - again).count();
            break;
        }
    }
    // A goto covers its last half degree at an eighth of the slew rate.
    const double expected = ((90 - 0.5) / slewRate + 0.5 / (slewRate / 8)) / 100;
    std::printf("90-degree goto at time rate 100, slew rate %g deg/s: expected %.4f s; "
                "slew end event after %.4f s, L done after %.4f s\n",
                slewRate, expected, toEvent, toDone);
    ::close(serial);
    stop(running);
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string which = argc > 1 ? argv[1] : "all";
    const std::string program = argc > 2 ? argv[2] : TQX_EXECUTABLE;
    ::signal(SIGPIPE, SIG_IGN);
    pinToCore(0, 1);
    if (which == "state" || which == "all") {
        benchState(program, 1000);
        benchState(program, 0);
    }
    if (which == "subscriber" || which == "all")
        benchSubscriber(program);
    if (which == "goto" || which == "all")
        benchGoto(program);
    return 0;
}
