#pragma once

#include <QString>

namespace tqx {

// What the service manager (systemd) hands the program and wants to hear from it. Started any
// other way, nothing is passed and nothing is said: every call is then harmless.
class ServiceManager
{
public:
    // The listening TCP socket passed with socket activation ($LISTEN_FDS for this process), or
    // -1 when none was passed. Taken once: the variables are cleared and the socket is not
    // inherited by anything the program starts. -1 with `errorText` set when what was passed is
    // not one listening TCP socket.
    static int takeListeningSocket(QString *errorText);

    // Readiness for a Type=notify unit: the port is open, `status` says where clients connect.
    static void notifyReady(const QString &status);
    static void notifyStopping();
};

} // namespace tqx
