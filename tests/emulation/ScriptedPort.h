#pragma once

#include "emulation/CommandInterpreter.h"
#include "emulation/SerialControl.h"

#include <string>
#include <utility>
#include <vector>

// A serial port driven by the test: each deliver() raises one event and hands the interpreter the
// bytes of that event; every reply written is recorded.
class ScriptedPort : public tqx::SerialControl
{
public:
    int CommEvent() const override { return m_event; }
    tqx::Bytes Input() override
    {
        ++inputReads;
        return std::exchange(m_pending, {});
    }
    void Output(const tqx::Bytes &bytes) override
    {
        writes.push_back(bytes);
        written += bytes;
        if (callLog)
            callLog->push_back("Output:" + bytes);
    }

    void deliver(tqx::CommandInterpreter &interpreter, const tqx::Bytes &bytes,
                 int event = comEvReceive)
    {
        m_event = event;
        m_pending = bytes;
        interpreter.frmMain_Comm_OnComm();
    }

    std::vector<tqx::Bytes> writes;
    tqx::Bytes written;
    int inputReads = 0;
    // When set, each write is also recorded here, to check its place among the display calls.
    std::vector<std::string> *callLog = nullptr;

private:
    int m_event = comEvReceive;
    tqx::Bytes m_pending;
};
