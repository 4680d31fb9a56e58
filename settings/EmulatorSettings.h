#pragma once

#include "emulation/HandControlSettings.h"
#include "emulation/Profile.h"
#include "session/FaultRule.h"
#include "session/LineTiming.h"
#include "session/PortChoice.h"
#include "session/TcpTransport.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tqx {

// What the "Mount settings..." dialog sets: the full profile's hand control (its version text
// stays in the version box) and the automatic reset of a blocked buffer.
struct MountSettings
{
    HandControlSettings handControl;
    int autoResetMs = 0; // 0: only the Reset button empties a blocked buffer
};

// Every value the settings schema (settings/SettingsSchema.h) declares: what the settings store
// keeps from run to run, and what a headless run takes from --config and its options.
struct EmulatorSettings
{
    int comPort = 0; // index in the port list, -1 for no selection
    QString hcVersion = QStringLiteral("22"); // the basic profile's reply to V
    double leftTwips = 100; // the window's left edge, twips from the left of the screen
    double topTwips = 100;
    // The selected entry when it lies beyond the eight numbered ports (a system port by its
    // name, or the virtual port); empty otherwise.
    QString portName;
    // A port name typed into the port list while no entry was selected (a device such as a
    // socat or tty0tty pseudo-terminal, or an address); empty otherwise.
    QString typedPort;
    // The network listener's address and port.
    QString tcpAddress = PortChoice::defaultTcpAddress().toString();
    int tcpPort = PortChoice::defaultTcpPort;
    // How long a network client must have been silent for a new one to take over; 0 never.
    double tcpTakeoverSeconds = double(TcpTransport::defaultTakeoverAfterMs) / 1000;
    // How fast replies go out, and with real timing how long a P command waits for the bus.
    LineTiming lineTiming = LineTiming::Fast;
    int busDelayMs = BusDelay::defaultMs;
    // The command set, the full profile's version text (the basic profile's stays in hcVersion)
    // and its mount.
    Profile profile = Profile::Basic;
    QString fullVersion = QString::fromStdString(HandControlSettings().version);
    MountSettings mount;
    // The faults every reply meets, and the seed of their random choices (none given: one drawn
    // at start, and said, so that the run can be repeated).
    std::vector<FaultRule> faults;
    std::optional<std::uint64_t> faultSeed;
    // The mount's clock: where it starts (none: the computer's time) and how fast it runs.
    std::optional<qint64> startUtcMs;
    double timeRate = 1;

    // The port a headless run answers on (--port, or the "port" key of its settings file), as
    // PortChoice reads it or "systemd"; empty: none given. The window keeps its own port above.
    QString headlessPort;

    // The port that names the listening socket the service manager passes.
    static QString serviceManagerPort() { return QStringLiteral("systemd"); }
};

} // namespace tqx
