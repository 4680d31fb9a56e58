// Nanoseconds per exchange through the interpreter, with a port and a display that do nothing, so
// that only the interpreter's own work is measured.

#include "emulation/CommandInterpreter.h"

#include <benchmark/benchmark.h>

namespace {

class ReplayPort : public tqx::SerialControl
{
public:
    int CommEvent() const override { return comEvReceive; }
    tqx::Bytes Input() override { return next; }
    void Output(const tqx::Bytes &bytes) override { benchmark::DoNotOptimize(bytes.data()); }

    tqx::Bytes next;
};

class NullDisplay : public tqx::ConsoleDisplay
{
public:
    void InputListAddItem(const tqx::Bytes &) override { }
    void InputListSelect(std::uint64_t) override { }
    void SetInputLabel(const std::string &) override { }
    void InputListClear() override { }
    void RespListAddItem(const tqx::Bytes &) override { }
    void RespListSelect(std::uint64_t) override { }
    void SetRespLabel(const std::string &) override { }
    void RespListClear() override { }
    void SetCommandText(const tqx::Bytes &, std::uint64_t) override { }
    tqx::Bytes ReadVerText() const override { return "22"; }
};

void exchange(benchmark::State &state, const char *command)
{
    ReplayPort port;
    NullDisplay display;
    tqx::CommandInterpreter interpreter(port, display);
    port.next = command;
    for (auto _ : state)
        interpreter.frmMain_Comm_OnComm();
    state.SetItemsProcessed(state.iterations());
}

void BM_GetPosition(benchmark::State &state) { exchange(state, "E"); }
BENCHMARK(BM_GetPosition);

void BM_Goto32(benchmark::State &state) { exchange(state, "r34AB0500,12CE0500"); }
BENCHMARK(BM_Goto32);

// A blocked buffer being appended to: one byte per event, the buffer at its size limit after the
// first few thousand events, so both the growing and the full buffer are measured.
void BM_BlockedAppend(benchmark::State &state)
{
    ReplayPort port;
    NullDisplay display;
    tqx::CommandInterpreter interpreter(port, display);
    port.next = "X";
    interpreter.frmMain_Comm_OnComm();
    port.next = "a";
    for (auto _ : state)
        interpreter.frmMain_Comm_OnComm();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BlockedAppend);

} // namespace

BENCHMARK_MAIN();
