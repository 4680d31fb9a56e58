#pragma once

#include "emulation/BasicHandControl.h"
#include "emulation/BufferWatch.h"
#include "emulation/Bytes.h"
#include "emulation/Clocks.h"
#include "emulation/CommandResponder.h"
#include "emulation/ConsoleDisplay.h"
#include "emulation/ExchangeDecoder.h"
#include "emulation/HandControl.h"
#include "emulation/HandControlSettings.h"
#include "emulation/MountState.h"
#include "emulation/Profile.h"
#include "emulation/SerialControl.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tqx {

// Turns the bytes received on the serial line into answered commands: gathers them in the
// command input buffer, frames them into the chosen profile's commands, hands each complete one
// to that profile's hand control for its reply, and logs every exchange on the console display.
// Bytes that will never be answered leave the buffer by Reset, after a quiet gap or by the
// automatic reset.
//
// Not thread-safe by design: every call is made on the user-interface thread, one at a time.
class CommandInterpreter
{
public:
    // A buffer that keeps growing can only be blocked (no command is longer than 18 bytes), so
    // it is kept to this size; later bytes are counted, and shown with the buffer, instead of
    // stored.
    static constexpr std::size_t maxBufferSize = 4096;
    // How long the line must stay quiet before the bytes of an unknown command are discarded in
    // the full profile; poll() should be called at least this often.
    static constexpr std::int64_t quietGapMs = BufferWatch::quietGapMs;

    CommandInterpreter(SerialControl &port, ConsoleDisplay &display);

    // Handles one event of the serial port.
    void frmMain_Comm_OnComm();
    // Ends what has waited long enough without bytes arriving: the discard of an unknown
    // command once the line has been quiet, and a buffer blocked for the automatic reset time.
    // Both are logged with LogUnanswered. The owner calls it periodically (every 50 ms, say).
    void poll();

    // Reset: empties the command input buffer. Logs, counts and mount state stay.
    void resetBuffer();
    // Clear: empties both logs and restarts both counts at 0 in the same action, because a count
    // is the index of the next line of its log. The buffer and the mount state stay.
    void clearLogs();

    // Switched off and on: the buffer emptied and both profiles' hand controls back in their
    // start state, with the settings they had. The logs and counts are the console's, not the
    // hand control's, and stay.
    void restart();

    // The command set, from the next command on. Each profile keeps its own mount state.
    void setProfile(Profile profile);
    Profile profile() const { return m_profile; }
    // The full profile's firmware, mount and accessories. False, and nothing changed, when the
    // version text is refused by HandControlSettings::versionError.
    bool setHandControlSettings(const HandControlSettings &settings);
    const HandControlSettings &handControlSettings() const { return m_handControl->settings(); }
    // A buffer holding unanswered bytes for this long is reset and logged; 0 (the start value)
    // never resets. Both profiles.
    void setAutoResetAfter(std::int64_t ms) { m_watch.setAutoResetAfter(ms); }
    std::int64_t autoResetAfter() const { return m_watch.autoResetAfter(); }
    // Milliseconds of a monotonic clock (std::chrono::steady_clock by default), for the line's
    // quiet gaps and automatic resets and, until setMountClocks, for the mount as well.
    void setClock(const Clocks::Source &steadyMs)
    {
        m_lineMs = steadyMs;
        m_clocks.steadyMs = steadyMs;
    }
    // Milliseconds since 1970-01-01 UTC: the full profile's date and time until a client sets
    // them (std::chrono::system_clock by default).
    void setWallClock(Clocks::Source utcMs) { m_clocks.utcMs = std::move(utcMs); }
    // The mount's own time (see MountClock), apart from the line's, which stays as it is.
    void setMountClocks(const Clocks &clocks) { m_clocks = clocks; }

    const Bytes &CommandBuffer() const { return m_commandBuffer; }
    const Bytes &Response() const { return m_response; }
    std::uint64_t InputCount() const { return m_inputCount; }
    std::uint64_t RespCount() const { return m_respCount; }

    // The basic profile's mount state.
    MountState &mount() { return m_basic.mount(); }
    const MountState &mount() const { return m_basic.mount(); }
    // The full profile's hand control and its mount.
    const HandControl &handControl() const { return *m_handControl; }
    // For those who change the mount without a command on the line (the control channel).
    HandControl &handControl() { return *m_handControl; }
    // What a decoder needs to know to read the exchanges answered now.
    DecodeContext decodeContext() const;

private:
    void frameFirstCommand(CommandResponder &responder, const Bytes &received);
    void frameEveryCommand(CommandResponder &responder, const Bytes &received);
    std::int64_t eventTimeMs();
    bool needsClock() const;
    bool expireUnanswered(std::int64_t nowMs);
    void dropUnanswered(const std::string &reason);
    void appendToBuffer(const Bytes &received);
    void answer(CommandResponder &responder, std::size_t at, std::size_t length);
    void SendResponse();

    SerialControl &m_port;
    ConsoleDisplay &m_display;
    Clocks::Source m_lineMs = Clocks::steadyMilliseconds; // quiet gaps and automatic resets
    Clocks m_clocks; // the mount's: the hand control refers to it
    Profile m_profile = Profile::Basic;
    BasicHandControl m_basic {m_display};
    // Held apart, so that a restart can make a new one: its parts refer to one another.
    std::unique_ptr<HandControl> m_handControl = std::make_unique<HandControl>(m_clocks);
    BufferWatch m_watch;
    std::optional<std::int64_t> m_eventTimeMs; // the time of the event being handled, once read
    Bytes m_commandBuffer;
    std::uint64_t m_droppedBytes = 0;
    Bytes m_command; // the command being answered
    Bytes m_response;
    std::uint64_t m_inputCount = 0;
    std::uint64_t m_respCount = 0;
};

} // namespace tqx
