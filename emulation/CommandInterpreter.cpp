#include "emulation/CommandInterpreter.h"

#include <string>
#include <string_view>

namespace tqx {

namespace {

std::string withDroppedCount(std::string reason, std::uint64_t droppedBytes)
{
    if (droppedBytes > 0)
        reason += " (" + std::to_string(droppedBytes) + " more bytes were not kept)";
    return reason;
}

} // namespace

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

    const Bytes received = m_port.Input();
    m_eventTimeMs.reset();
    if (!m_commandBuffer.empty() && needsClock())
        expireUnanswered(eventTimeMs());
    if (m_profile == Profile::Basic)
        frameFirstCommand(m_basic, received);
    else
        frameEveryCommand(*m_handControl, received);

    m_display.SetCommandText(m_commandBuffer, m_droppedBytes);
}

void CommandInterpreter::poll()
{
    if (needsClock() && expireUnanswered(m_lineMs()))
        m_display.SetCommandText(m_commandBuffer, m_droppedBytes);
}

// The basic table takes the whole buffer as the command it recognises, so at most one command is
// answered per event: the one named by the first byte, with whatever arrived behind it. Bytes
// that are not answered wait for the rest of their command or, when nothing can complete them,
// for Reset or the automatic reset.
void CommandInterpreter::frameFirstCommand(CommandResponder &responder, const Bytes &received)
{
    const bool wasEmpty = m_commandBuffer.empty();
    appendToBuffer(received);

    const CommandResponder::Recognition front = responder.recognise(m_commandBuffer);
    if (front.verdict == CommandResponder::Verdict::Complete) {
        answer(responder, 0, front.length);
        m_commandBuffer.erase(0, front.length);
    }
    // Bytes that were not kept belong to the end of the buffer and go with it.
    if (m_commandBuffer.empty())
        m_droppedBytes = 0;

    if (wasEmpty && !m_commandBuffer.empty())
        m_watch.waitingSince(eventTimeMs());
}

// Answers every complete command in order, as the hand control does. A byte that begins no
// command gets no reply: it and everything behind it are discarded until the line is quiet, so
// that the payload of an unknown command is never taken for commands.
void CommandInterpreter::frameEveryCommand(CommandResponder &responder, const Bytes &received)
{
    if (received.empty())
        return;
    if (m_watch.discarding()) {
        m_watch.bytesArrived(eventTimeMs());
        appendToBuffer(received);
        return;
    }

    const bool wasEmpty = m_commandBuffer.empty();
    m_commandBuffer += received;
    std::size_t at = 0;
    while (at < m_commandBuffer.size()) {
        const CommandResponder::Recognition front
                = responder.recognise(std::string_view(m_commandBuffer).substr(at));
        if (front.verdict == CommandResponder::Verdict::NotACommand) {
            m_watch.startDiscarding();
            m_watch.bytesArrived(eventTimeMs());
            break;
        }
        if (front.verdict == CommandResponder::Verdict::Incomplete)
            break;
        answer(responder, at, front.length);
        at += front.length;
    }
    m_commandBuffer.erase(0, at);

    if (m_commandBuffer.size() > maxBufferSize) {
        m_droppedBytes += m_commandBuffer.size() - maxBufferSize;
        m_commandBuffer.resize(maxBufferSize);
    }
    if (!m_commandBuffer.empty() && (wasEmpty || at > 0))
        m_watch.waitingSince(eventTimeMs());
}

// The clock is read only when the time matters, once per event: to expire what waits in the
// buffer, and to note when bytes that are left waiting arrived. An answered command needs none.
std::int64_t CommandInterpreter::eventTimeMs()
{
    if (!m_eventTimeMs)
        m_eventTimeMs = m_lineMs();
    return *m_eventTimeMs;
}

bool CommandInterpreter::needsClock() const
{
    return m_profile == Profile::Full || m_watch.autoResetAfter() > 0 || m_watch.discarding();
}

// True when bytes were dropped from the buffer.
bool CommandInterpreter::expireUnanswered(std::int64_t nowMs)
{
    switch (m_watch.expiry(nowMs, m_commandBuffer.empty())) {
    case BufferWatch::Expiry::None:
        return false;
    case BufferWatch::Expiry::UnknownCommandEnded:
        dropUnanswered("not a command: discarded without a reply");
        return true;
    case BufferWatch::Expiry::AutomaticReset:
        dropUnanswered("reset automatically after " + std::to_string(m_watch.autoResetAfter())
                       + " ms without an answer");
        return true;
    }
    return false;
}

void CommandInterpreter::dropUnanswered(const std::string &reason)
{
    m_display.LogUnanswered(m_commandBuffer, withDroppedCount(reason, m_droppedBytes));
    m_commandBuffer.clear();
    m_droppedBytes = 0;
    m_watch.cleared();
}

void CommandInterpreter::resetBuffer()
{
    m_commandBuffer.clear();
    m_droppedBytes = 0;
    m_watch.cleared();
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

// An unknown command being discarded ends at the switch: the bytes it swallowed belong to the
// profile that saw them arrive.
void CommandInterpreter::setProfile(Profile profile)
{
    if (profile == m_profile)
        return;
    if (m_watch.discarding()) {
        dropUnanswered("not a command: discarded without a reply");
        m_display.SetCommandText(m_commandBuffer, m_droppedBytes);
    }
    m_profile = profile;
}

DecodeContext CommandInterpreter::decodeContext() const
{
    const HandControlSettings &settings = m_handControl->settings();
    return {m_profile, settings.isEquatorialMount(), settings.versionFormat == VersionFormat::Hex,
            m_handControl->isFirmware528()};
}

bool CommandInterpreter::setHandControlSettings(const HandControlSettings &settings)
{
    return m_handControl->setSettings(settings);
}

void CommandInterpreter::restart()
{
    resetBuffer();
    m_basic.mount().setStartValues();
    const HandControlSettings settings = m_handControl->settings();
    m_handControl = std::make_unique<HandControl>(m_clocks);
    m_handControl->setSettings(settings);
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

void CommandInterpreter::answer(CommandResponder &responder, std::size_t at, std::size_t length)
{
    m_command.assign(m_commandBuffer, at, length);
    responder.reply(m_command, m_response);
    SendResponse();
}

// The send-and-log routine. It logs the command before the reply goes on the line and the reply
// after it, so the console never shows a reply that was not written.
void CommandInterpreter::SendResponse()
{
    m_display.InputListAddItem(m_command);
    m_display.InputListSelect(m_inputCount);
    ++m_inputCount;
    m_display.SetInputLabel(std::to_string(m_inputCount));

    m_port.Output(m_response);

    m_display.RespListAddItem(m_response);
    m_display.RespListSelect(m_respCount);
    ++m_respCount;
    m_display.SetRespLabel(std::to_string(m_respCount));
}

} // namespace tqx
