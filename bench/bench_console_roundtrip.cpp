// Round-trip latency over a pseudo-terminal: a client thread writes "E" and waits for the 10-byte
// reply, against (a) the console window (offscreen, logging on), (b) a bare QSerialPort
// responder, the baseline, (c) the console in the full profile, its mount slewing, with the mount
// view open, (d) the same console without the view, which tells the view's own cost, and (e) the
// console with the exchange view open, a row for every exchange. Then a long run against (a)
// compares the last exchanges with the first and reports the process's peak memory. The
// responders run on the first core and the client on the second, so that the two never wait for
// each other's time slice.
//
//   bench_console_roundtrip [exchanges=20000] [long-run exchanges=1000000]

#include "bench/RoundTrip.h"
#include "console/ExchangeView.h"
#include "console/MountView.h"
#include "console/frmMain.h"
#include "session/EmulatorSession.h"

#include <QApplication>
#include <QSerialPort>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
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

// On a machine with one core, both run on it.
void pinToCore(int core)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core % std::max(1, int(std::thread::hardware_concurrency())), &set);
    sched_setaffinity(0, sizeof set, &set);
}

// Runs the client in a thread while the event loop serves the port, and returns its latencies.
std::vector<double> serve(int master, int exchanges)
{
    std::vector<double> latencies;
    std::thread client([&] {
        pinToCore(1);
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

// The console in the full profile, where "E" is answered from the moving mount; with the mount
// view shown, the view looks at the mount once per display frame while the console answers.
struct FullProfileConsole
{
    ConsoleResponder console;
    tqx::MountView *view = nullptr;

    explicit FullProfileConsole(bool showMountView)
    {
        console.window.chooseProfile(tqx::Profile::Full);
        if (showMountView) {
            view = new tqx::MountView(console.window.interpreter(), &console.window);
            view->show();
        }
    }
};

// The console with the exchange view shown: every exchange becomes a row, shown once per frame.
struct ExchangeViewConsole
{
    ConsoleResponder console;

    ExchangeViewConsole() { console.window.ShowExchangesButton->trigger(); }
    int rows() const { return console.window.exchangeView()->table()->model()->rowCount(); }
};

struct Latencies
{
    std::vector<double> console, bare, withView, fullProfile, withExchangeView;
};

// Starts a long goto, so that the mount moves and the view has something new every frame.
bool startGoto(int master)
{
    static constexpr char gotoCommand[] = "r6AAAAA00,0E38E300";
    if (::write(master, gotoCommand, sizeof gotoCommand - 1) != sizeof gotoCommand - 1)
        return false;
    pollfd pending {master, POLLIN, 0};
    char reply = 0;
    return ::poll(&pending, 1, 5000) > 0 && ::read(master, &reply, 1) == 1 && reply == '#';
}

// The responders at once, the client alternating between them in rounds, so that the machine's
// changing load weighs on all alike.
void compare(int exchanges, Latencies &latencies)
{
    ConsoleResponder a;
    BareResponder b;
    FullProfileConsole c(true);
    FullProfileConsole d(false);
    ExchangeViewConsole e;
    constexpr int rounds = 20;
    std::thread client([&] {
        pinToCore(1);
        if (!startGoto(c.console.pty.master) || !startGoto(d.console.pty.master))
            std::fprintf(stderr, "a goto was not accepted\n");
        const auto take = [&](int master, std::vector<double> &into) {
            const std::vector<double> round = runClient(master, exchanges / rounds);
            into.insert(into.end(), round.begin(), round.end());
        };
        for (int round = 0; round < rounds; ++round) {
            take(a.pty.master, latencies.console);
            take(b.pty.master, latencies.bare);
            take(c.console.pty.master, latencies.withView);
            take(d.console.pty.master, latencies.fullProfile);
            take(e.console.pty.master, latencies.withExchangeView);
        }
        std::printf("mount view: %d looks found a change\n", c.view->changeCount());
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    client.join();
    e.console.window.exchangeView()->refresh();
    std::printf("exchange view: %d rows\n", e.rows());
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

    pinToCore(0);
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 20'000;
    const int longRun = argc > 2 ? std::atoi(argv[2]) : 1'000'000;

    Latencies latencies;
    compare(exchanges, latencies);
    const std::vector<double> &console = latencies.console, &bare = latencies.bare,
                              &withView = latencies.withView;
    report("(b) bare QSerialPort", bare);
    report("(a) console window", console);
    report("(c) console with mount view", withView);
    report("(d) console, full profile", latencies.fullProfile);
    report("(e) console with exchange view", latencies.withExchangeView);
    std::printf("median ratio a/b: %.2f (goal <= 1.1)\n",
                percentile(console, 0.5) / percentile(bare, 0.5));
    std::printf("p99 ratio a/b: %.2f (goal <= 1.5)\n",
                percentile(console, 0.99) / percentile(bare, 0.99));
    std::printf("median ratio c/b: %.2f (goal <= 1.1)\n",
                percentile(withView, 0.5) / percentile(bare, 0.5));
    std::printf("p99 ratio c/b: %.2f\n", percentile(withView, 0.99) / percentile(bare, 0.99));
    std::printf("median ratio c/d, the mount view's own cost: %.2f\n",
                percentile(withView, 0.5) / percentile(latencies.fullProfile, 0.5));
    const std::vector<double> &withExchanges = latencies.withExchangeView;
    std::printf("median ratio e/b: %.2f (goal <= 1.1)\n",
                percentile(withExchanges, 0.5) / percentile(bare, 0.5));
    std::printf("p99 ratio e/b: %.2f\n", percentile(withExchanges, 0.99) / percentile(bare, 0.99));
    std::printf("median ratio e/a, the exchange view's own cost: %.2f\n",
                percentile(withExchanges, 0.5) / percentile(console, 0.5));

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
