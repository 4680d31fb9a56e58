// Round-trip latency over a pseudo-terminal: a client thread writes "E" and waits for the 10-byte
// reply, against (a) the console window (offscreen, logging on) and (b) a bare QSerialPort
// responder, the baseline. Then a long run against (a) compares the last exchanges with the first
// and reports the process's peak memory.
//
//   bench_console_roundtrip [exchanges=20000] [long-run exchanges=1000000]

#include "bench/RoundTrip.h"
#include "console/frmMain.h"
#include "session/EmulatorSession.h"

#include <QApplication>
#include <QSerialPort>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using roundtrip::percentile;
using roundtrip::report;
using roundtrip::runClient;

struct Pty
{
    int master = -1;
    int slave = -1;
    QString slavePath;

    Pty()
    {
        char name[256] = {};
        openpty(&master, &slave, name, nullptr, nullptr);
        termios settings {};
        tcgetattr(slave, &settings);
        cfmakeraw(&settings);
        tcsetattr(slave, TCSANOW, &settings);
        slavePath = QString::fromLocal8Bit(name);
    }
    ~Pty()
    {
        ::close(master);
        ::close(slave);
    }
};

// Runs the client in a thread while the event loop serves the port, and returns its latencies.
std::vector<double> serve(int master, int exchanges)
{
    std::vector<double> latencies;
    std::thread client([&] {
        latencies = runClient(master, exchanges);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    client.join();
    return latencies;
}

// The console window answering on a pseudo-terminal.
struct ConsoleResponder
{
    Pty pty;
    tqx::frmMain window;

    ConsoleResponder()
    {
        window.Comm->setPortNameMapper([this](int) { return pty.slavePath; });
        window.frmMain_StartButton_Click();
        if (!window.PortIsOpen)
            std::fprintf(stderr, "the console could not open the pseudo-terminal\n");
        window.show();
    }
};

// The baseline: a bare QSerialPort that answers every arrival with the same reply.
struct BareResponder
{
    Pty pty;
    QSerialPort port;

    BareResponder()
    {
        port.setPortName(pty.slavePath);
        port.setBaudRate(9600);
        if (!port.open(QIODevice::ReadWrite))
            std::fprintf(stderr, "the responder could not open the pseudo-terminal\n");
        QObject::connect(&port, &QSerialPort::readyRead, [this] {
            port.readAll();
            port.write("310C,0BBB#", 10);
            port.flush();
        });
    }
};

// Both responders at once, the client alternating between them in rounds, so that the machine's
// changing load weighs on both alike.
void compare(int exchanges, std::vector<double> &console, std::vector<double> &bare)
{
    ConsoleResponder a;
    BareResponder b;
    constexpr int rounds = 20;
    std::thread client([&] {
        for (int round = 0; round < rounds; ++round) {
            const std::vector<double> fromA = runClient(a.pty.master, exchanges / rounds);
            const std::vector<double> fromB = runClient(b.pty.master, exchanges / rounds);
            console.insert(console.end(), fromA.begin(), fromA.end());
            bare.insert(bare.end(), fromB.begin(), fromB.end());
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    client.join();
}

std::vector<double> consoleLatencies(int exchanges)
{
    ConsoleResponder a;
    return serve(a.pty.master, exchanges);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Never touch the user's own settings.
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());

    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 20'000;
    const int longRun = argc > 2 ? std::atoi(argv[2]) : 1'000'000;

    std::vector<double> console, bare;
    compare(exchanges, console, bare);
    report("(b) bare QSerialPort", bare);
    report("(a) console window", console);
    std::printf("median ratio a/b: %.2f (goal <= 1.1)\n",
                percentile(console, 0.5) / percentile(bare, 0.5));
    std::printf("p99 ratio a/b: %.2f (goal <= 1.5)\n",
                percentile(console, 0.99) / percentile(bare, 0.99));

    if (longRun <= 0)
        return 0;
    const std::vector<double> run = consoleLatencies(longRun);
    const std::size_t window = std::min<std::size_t>(10'000, run.size() / 2);
    const std::vector<double> first(run.begin(), run.begin() + window);
    const std::vector<double> last(run.end() - window, run.end());
    std::printf("long run: %zu exchanges\n", run.size());
    report("  first 10,000", first);
    report("  last 10,000", last);
    std::printf("  last/first median: %.2f (goal <= 1.2)\n",
                percentile(last, 0.5) / percentile(first, 0.5));
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.1f MB (goal < 150 MB)\n", usage.ru_maxrss / 1024.0);
    return 0;
}
