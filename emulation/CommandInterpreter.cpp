#include "emulation/CommandInterpreter.h"

#include "emulation/CommandTable.h"

#include <string>

namespace tqx {

CommandInterpreter::CommandInterpreter(SerialControl &port, ConsoleDisplay &display)
    : m_port(port)
    , m_display(display)
{
    m_commandBuffer.reserve(maxBufferSize);
}

void CommandInterpreter::frmMain_Comm_OnComm()
{
    if (m_port.CommEvent() != SerialControl::comEvReceive)
        return;

    appendToBuffer(m_port.Input());

    // Answering a command empties the buffer, so at most one command is answered per event: the
    // one named by the first byte. Whatever arrived behind it is consumed with it.
    if (const CommandRow *row = findCommand(m_commandBuffer))
        answer(*row);

    m_display.SetCommandText(m_commandBuffer, m_droppedBytes);
}

void CommandInterpreter::resetBuffer()
{
    m_commandBuffer.clear();
    m_droppedBytes = 0;
    m_display.SetCommandText(m_commandBuffer, m_droppedBytes);
}

void CommandInterpreter::clearLogs()
{
    m_display.InputListClear();
    m_display.RespListClear();
    m_inputCount = 0;
    m_respCount = 0;
    m_display.SetInputLabel("0");
    m_display.SetRespLabel("0");
}

void CommandInterpreter::appendToBuffer(const Bytes &received)
{
    const std::size_t room = maxBufferSize - m_commandBuffer.size();
    if (received.size() <= room) {
        m_commandBuffer += received;
        return;
    }
    m_commandBuffer.append(received, 0, room);
    m_droppedBytes += received.size() - room;
}

void CommandInterpreter::answer(const CommandRow &row)
{
    switch (row.action) {
    case CommandAction::GetPosition:
        m_response = m_mount.position(row.field);
        break;
    case CommandAction::GotoPosition:
        m_response = "#";
        m_mount.setPosition(row.field, row.gotoPositionText(m_commandBuffer));
        break;
    case CommandAction::FixedReply:
        m_response = row.fixedReply;
        break;
    case CommandAction::VersionReply:
        m_response = m_display.ReadVerText();
        break;
    case CommandAction::EchoReply:
        m_response = Bytes {m_commandBuffer[1], '#'};
        break;
    }
    SendResponse();
}

// Logs the command before the reply goes on the line and the reply after it, so the console
// never shows a reply that was not written.
void CommandInterpreter::SendResponse()
{
    m_display.InputListAddItem(m_commandBuffer);
    m_display.InputListSelect(m_inputCount);
    ++m_inputCount;
    m_display.SetInputLabel(std::to_string(m_inputCount));

    m_port.Output(m_response);

    m_display.RespListAddItem(m_response);
    m_display.RespListSelect(m_respCount);
    ++m_respCount;
    m_display.SetRespLabel(std::to_string(m_respCount));

    m_commandBuffer.clear();
    m_droppedBytes = 0;
}

} // namespace tqx
