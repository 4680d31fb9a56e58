#pragma once

#include "emulation/Bytes.h"
#include "emulation/ConsoleDisplay.h"
#include "emulation/MountState.h"
#include "emulation/SerialControl.h"

#include <cstddef>
#include <cstdint>

namespace tqx {

struct CommandRow;

// Turns the bytes received on the serial line into answered commands: gathers them in the
// command input buffer, recognises the commands of the command table, answers them from the
// mount state, and logs every exchange on the console display.
//
// Not thread-safe by design: every call is made on the user-interface thread, one at a time.
class CommandInterpreter
{
public:
    // A buffer that keeps growing can only be blocked (no command is longer than 18 bytes), so
    // it is kept to this size; later bytes are counted in droppedBytes() instead of stored.
    static constexpr std::size_t maxBufferSize = 4096;

    CommandInterpreter(SerialControl &port, ConsoleDisplay &display);

    // Handles one event of the serial port.
    void frmMain_Comm_OnComm();

    // Reset: empties the command input buffer. Logs, counts and mount state stay.
    void resetBuffer();
    // Clear: empties both logs and restarts both counts at 0 in the same action, because a count
    // is the index of the next line of its log. The buffer and the mount state stay.
    void clearLogs();

    const Bytes &CommandBuffer() const { return m_commandBuffer; }
    std::uint64_t droppedBytes() const { return m_droppedBytes; }
    const Bytes &Response() const { return m_response; }
    std::uint64_t InputCount() const { return m_inputCount; }
    std::uint64_t RespCount() const { return m_respCount; }

    MountState &mount() { return m_mount; }
    const MountState &mount() const { return m_mount; }

private:
    void appendToBuffer(const Bytes &received);
    void answer(const CommandRow &row);
    void SendResponse();

    SerialControl &m_port;
    ConsoleDisplay &m_display;
    MountState m_mount;
    Bytes m_commandBuffer;
    std::uint64_t m_droppedBytes = 0;
    Bytes m_response;
    std::uint64_t m_inputCount = 0;
    std::uint64_t m_respCount = 0;
};

} // namespace tqx
