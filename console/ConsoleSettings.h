#pragma once

#include "console/MountSettingsDialog.h"
#include "session/PortSpecification.h"
#include "session/TcpTransport.h"

#include <QString>

#include <memory>

class QSettings;

namespace tqx {

// What outlives a run: the selected port, the reply to V and the console window's position.
struct ConsoleSettingsValues
{
    int comPort = 0; // index in the port list, -1 for no selection
    QString hcVersion = QStringLiteral("22");
    double leftTwips = 100; // the window's left edge, twips from the left of the screen
    double topTwips = 100;
    // The selected entry when it lies beyond the eight numbered ports (a system port by its
    // name, or the virtual port); empty otherwise.
    QString portName;
    // The network listener's address and port.
    QString tcpAddress = PortSpecification::defaultTcpAddress().toString();
    int tcpPort = PortSpecification::defaultTcpPort;
    // How long a network client must have been silent for a new one to take over; 0 never.
    int tcpTakeoverSeconds = int(TcpTransport::defaultTakeoverAfterMs / 1000);
    // The command set ("basic" or "full"), the full profile's version text (the basic profile's
    // stays in hcVersion) and its mount.
    QString profile = QStringLiteral("basic");
    QString fullVersion = QStringLiteral("4.21");
    MountSettings mount;
};

// The per-user settings store: application "TQX_Emulator", section "Defaults", every value held
// as text. On Windows it is the current user's registry key for such settings; elsewhere an INI
// file in the user's configuration folder.
class ConsoleSettings
{
public:
    ConsoleSettings();
    ~ConsoleSettings();

    // Reads the keys. A key that is missing, or whose text cannot be converted or lies
    // outside its range, gives that key's default.
    ConsoleSettingsValues load() const;
    // Returns false with a sentence for the user when the store could not be written.
    bool save(const ConsoleSettingsValues &values, QString *errorText = nullptr);

    QString location() const;

private:
    std::unique_ptr<QSettings> m_store;
};

} // namespace tqx
