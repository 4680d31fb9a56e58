#include "control/ControlClient.h"

#include "control/ControlAddress.h"
#include "session/ProgramInstance.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocalSocket>
#include <QTcpSocket>

#include <cstdio>
#include <memory>

namespace tqx {

namespace {

constexpr int connectTimeoutMs = 3000;
constexpr int responseTimeoutMs = 10000;

void complain(const QString &text)
{
    std::fprintf(stderr, "tqx-orbivo-emulator ctl: %s\n", qPrintable(text));
}

// VALUE as JSON when it is JSON, as text otherwise.
QJsonValue valueOf(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson("[" + text.toUtf8() + "]", &error);
    if (error.error == QJsonParseError::NoError && document.array().size() == 1)
        return document.array().first();
    return text;
}

// Puts `value` at the dotted `path` inside `object`; false when the path runs into a value that
// is not an object.
bool insertAt(QJsonObject &object, QStringList path, const QJsonValue &value)
{
    const QString key = path.takeFirst();
    if (path.isEmpty()) {
        object.insert(key, value);
        return true;
    }
    QJsonValue inner = object.value(key);
    if (!inner.isUndefined() && !inner.isObject())
        return false;
    QJsonObject innerObject = inner.toObject();
    if (!insertAt(innerObject, path, value))
        return false;
    object.insert(key, innerObject);
    return true;
}

// The socket to the address, connected, or null with why not.
std::unique_ptr<QIODevice> connectTo(const ControlAddress &address, QString *errorText)
{
    if (address.kind == ControlAddress::Kind::Tcp) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->connectToHost(address.host, address.port);
        if (!socket->waitForConnected(connectTimeoutMs)) {
            *errorText = QStringLiteral("cannot connect to %1: %2")
                                 .arg(address.toString(), socket->errorString());
            return nullptr;
        }
        return socket;
    }
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(address.path);
    if (!socket->waitForConnected(connectTimeoutMs)) {
        *errorText = QStringLiteral("cannot connect to the control socket %1: %2 (is the emulator "
                                    "running, with that --instance?)")
                             .arg(address.path, socket->errorString());
        return nullptr;
    }
    return socket;
}

bool waitForLine(QIODevice &socket, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!socket.canReadLine()) {
        if (auto *local = qobject_cast<QLocalSocket *>(&socket);
            local && local->state() != QLocalSocket::ConnectedState && !local->bytesAvailable())
            return false;
        if (auto *tcp = qobject_cast<QTcpSocket *>(&socket);
            tcp && tcp->state() != QAbstractSocket::ConnectedState && !tcp->bytesAvailable())
            return false;
        if (deadline.hasExpired())
            return false;
        const int left = timeoutMs < 0 ? -1 : int(deadline.remainingTime());
        if (!socket.waitForReadyRead(left) && !socket.canReadLine())
            return false;
    }
    return true;
}

void printLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    if (!line.endsWith('\n'))
        std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

QString ControlClient::usageText()
{
    return QStringLiteral(
            "tqx-orbivo-emulator ctl [--instance NAME | --control ADDRESS] REQUEST [KEY=VALUE "
            "...]\n"
            "  Sends one request to a running emulator's control channel and prints the response;\n"
            "  REQUEST is state, set, pause, resume, step, fault, reset, drop, subscribe or\n"
            "  unsubscribe, or the whole request as JSON. KEY may be dotted "
            "(settings.slew_rate=3);\n"
            "  VALUE is read as JSON when it is JSON. subscribe prints events until interrupted.\n"
            "  Exit codes: 0 ok, 1 an error response or no connection, 2 wrong usage.\n"
            "  Examples: ctl state; ctl set time_rate=100; ctl step seconds=90;\n"
            "  ctl fault add=noreply@cmd=e; ctl '{\"request\":\"state\",\"id\":1}'");
}

std::optional<QJsonObject> ControlClient::request(const QStringList &words, QString *errorText)
{
    const auto refuse = [errorText](const QString &why) -> std::optional<QJsonObject> {
        if (errorText)
            *errorText = why;
        return std::nullopt;
    };
    if (words.isEmpty())
        return refuse(QStringLiteral("no request given"));
    const QString first = words.first().trimmed();
    if (first.startsWith(QLatin1Char('{'))) {
        if (words.size() > 1)
            return refuse(QStringLiteral("a request in JSON takes no KEY=VALUE arguments"));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(first.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return refuse(QStringLiteral("the request is not a JSON object: %1")
                                  .arg(error.errorString()));
        return document.object();
    }
    QJsonObject request {{QStringLiteral("request"), first}};
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString &word = words[i];
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return refuse(QStringLiteral("\"%1\" is not KEY=VALUE").arg(word));
        const QStringList path = word.left(equals).split(QLatin1Char('.'));
        if (path.contains(QString()))
            return refuse(QStringLiteral("\"%1\": a key has an empty part").arg(word));
        if (!insertAt(request, path, valueOf(word.mid(equals + 1))))
            return refuse(QStringLiteral("\"%1\": %2 is not an object").arg(word, path.first()));
    }
    return request;
}

int ControlClient::run(const QStringList &arguments)
{
    std::optional<ControlAddress> address;
    std::optional<QString> instance;
    QStringList words;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const auto optionValue = [&](const QString &option) -> std::optional<QString> {
            if (argument.startsWith(option + QLatin1Char('=')))
                return argument.mid(option.size() + 1);
            if (argument == option && i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        if (!words.isEmpty()) {
            words << argument;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::printf("%s\n", qPrintable(usageText()));
            return Ok;
        } else if (const auto value = optionValue(QStringLiteral("--instance"))) {
            instance = *value;
        } else if (const auto value = optionValue(QStringLiteral("--control"))) {
            QString error;
            address = ControlAddress::parse(*value, &error);
            if (!address || address->kind == ControlAddress::Kind::Off) {
                complain(QStringLiteral("--control %1: %2")
                                 .arg(*value,
                                      address ? QStringLiteral("there is nothing to "
                                                               "connect to")
                                              : error));
                return UsageError;
            }
        } else if (argument.startsWith(QLatin1String("--"))) {
            complain(QStringLiteral("unknown option %1; try ctl --help").arg(argument));
            return UsageError;
        } else {
            words << argument;
        }
    }
    if (instance && address) {
        complain(QStringLiteral("--instance and --control name the socket twice: give one"));
        return UsageError;
    }
    if (instance) {
        if (const std::optional<QString> problem = ProgramInstance::nameProblem(*instance)) {
            complain(QStringLiteral("--instance %1: %2").arg(*instance, *problem));
            return UsageError;
        }
        ProgramInstance::setName(*instance);
    }
    QString error;
    const std::optional<QJsonObject> request = ControlClient::request(words, &error);
    if (!request) {
        complain(error + QStringLiteral("; try ctl --help"));
        return UsageError;
    }
    const std::unique_ptr<QIODevice> socket
            = connectTo(address.value_or(ControlAddress::defaultLocal()), &error);
    if (!socket) {
        complain(error);
        return Failed;
    }
    socket->write(QJsonDocument(*request).toJson(QJsonDocument::Compact) + '\n');
    if (!waitForLine(*socket, responseTimeoutMs)) {
        complain(QStringLiteral("no response from the emulator"));
        return Failed;
    }
    const QByteArray line = socket->readLine();
    printLine(line);
    const QJsonObject response = QJsonDocument::fromJson(line).object();
    if (!response.value(QStringLiteral("ok")).toBool()) {
        complain(response.value(QStringLiteral("error")).toString(QStringLiteral("no answer")));
        return Failed;
    }
    if (request->value(QStringLiteral("request")).toString() != QLatin1String("subscribe"))
        return Ok;
    // The events, until the emulator ends or the user interrupts.
    for (;;) {
        while (socket->canReadLine())
            printLine(socket->readLine());
        if (!waitForLine(*socket, -1))
            break;
    }
    complain(QStringLiteral("the emulator closed the control channel"));
    return Ok;
}

} // namespace tqx
