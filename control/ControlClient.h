#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace tqx {

// The command-line client of the control channel, for shell scripts:
//   tqx-orbivo-emulator ctl [--instance NAME | --control ADDRESS] REQUEST [KEY=VALUE ...]
// or with the request as raw JSON. It prints the response line; `subscribe` prints the events
// that follow until it is interrupted or the program ends.
class ControlClient
{
public:
    enum ExitCode { Ok = 0, Failed = 1, UsageError = 2 };

    // The request that REQUEST and its KEY=VALUE arguments make: KEY may name a field inside an
    // object ("settings.slew_rate=3"), and VALUE is read as JSON when it is JSON (3, true,
    // {"a":1}) and as text otherwise. Nothing, and why, when they make no request.
    static std::optional<QJsonObject> request(const QStringList &words, QString *errorText);

    // `arguments` are those after "ctl". Writes to standard output and standard error.
    static int run(const QStringList &arguments);

    // The lines of --help that tell of it.
    static QString usageText();
};

} // namespace tqx
