// libFuzzer entry point: any bytes, split at newlines as the control channel splits them, go to
// the request handler of a session in the full profile, which must answer each with one JSON
// object (ok or an error) without a crash, sanitizer report or hang. The mount clock is paused so
// that an input replays alike.

#include "control/ControlHandler.h"
#include "session/EmulatorSession.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "control_line_fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    tqx::EmulatorSession session;
    session.setProfile(tqx::Profile::Full);
    session.mountClock().setUtc(1'731'447'930'000);
    session.mountClock().pause();
    tqx::ControlHandler handler(session);
    tqx::ControlSubscription subscription;
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     static_cast<qsizetype>(size));
    for (const QByteArray &line : input.split('\n')) {
        const QByteArray response = handler.handleLine(line, subscription);
        const QJsonDocument parsed = QJsonDocument::fromJson(response);
        if (!parsed.isObject() || !parsed.object().contains(QStringLiteral("ok")))
            std::abort(); // every request gets one object that says whether it was done
    }
    return 0;
}
