// Round-trip latency over TCP on 127.0.0.1: a client thread writes "E" and waits for the 10-byte
// reply, against (a) headless mode's session on a network listener, writing its lines to
// /dev/null through its writer, and (b) a bare QTcpServer responder, the baseline. The client
// alternates between them in rounds, so that the machine's changing load weighs on both alike.
//
//   bench_tcp_roundtrip [exchanges=20000]

#include "app/HeadlessEmulator.h"
#include "bench/RoundTrip.h"
#include "session/TcpTransport.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using roundtrip::percentile;
using roundtrip::report;
using roundtrip::runClient;

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        std::perror("connect");
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// The baseline: a bare QTcpServer that answers every arrival with the same reply.
struct BareResponder
{
    QTcpServer server;
    QTcpSocket *client = nullptr;

    BareResponder()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            client = server.nextPendingConnection();
            client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            QObject::connect(client, &QTcpSocket::readyRead, [this] {
                client->readAll();
                client->write("310C,0BBB#", 10);
            });
        });
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 20'000;

    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    tqx::HeadlessOptions options;
    options.port = QStringLiteral("tcp:0");
    tqx::HeadlessEmulator headless(options, devNull, STDERR_FILENO);
    if (headless.start() != tqx::HeadlessEmulator::Success)
        return 1;
    const quint16 headlessPort
            = qobject_cast<tqx::TcpTransport *>(headless.session().transport())->listeningPort();
    BareResponder bare;
    const quint16 barePort = bare.server.serverPort();

    std::vector<double> fromHeadless, fromBare;
    std::thread client([&] {
        const int a = connectTo(headlessPort);
        const int b = connectTo(barePort);
        constexpr int rounds = 20;
        for (int round = 0; round < rounds && a >= 0 && b >= 0; ++round) {
            const std::vector<double> la = runClient(a, exchanges / rounds);
            const std::vector<double> lb = runClient(b, exchanges / rounds);
            fromHeadless.insert(fromHeadless.end(), la.begin(), la.end());
            fromBare.insert(fromBare.end(), lb.begin(), lb.end());
        }
        ::close(a);
        ::close(b);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    client.join();

    report("(b) bare QTcpServer", fromBare);
    report("(a) headless session over TCP", fromHeadless);
    std::printf("median ratio a/b: %.2f (goal <= 1.1)\n",
                percentile(fromHeadless, 0.5) / percentile(fromBare, 0.5));
    std::printf("p99 ratio a/b: %.2f\n",
                percentile(fromHeadless, 0.99) / percentile(fromBare, 0.99));
    ::close(devNull);
    return 0;
}
