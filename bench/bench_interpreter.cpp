// Nanoseconds per exchange through the interpreter, with a port and a display that do nothing, so
// that only the interpreter's own work is measured.

#include "emulation/CommandInterpreter.h"
#include "emulation/ExchangeDecoder.h"
#include "emulation/MountReport.h"

#include <benchmark/benchmark.h>

#include <vector>

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

void exchange(benchmark::State &state, const tqx::Bytes &command,
              tqx::Profile profile = tqx::Profile::Basic)
{
    ReplayPort port;
    NullDisplay display;
    tqx::CommandInterpreter interpreter(port, display);
    interpreter.setProfile(profile);
    tqx::HandControlSettings settings;
    settings.gpsPresent = true;
    interpreter.setHandControlSettings(settings);
    port.next = command;
    for (auto _ : state)
        interpreter.frmMain_Comm_OnComm();
    state.SetItemsProcessed(state.iterations());
}

void BM_GetPosition(benchmark::State &state) { exchange(state, "E"); }
BENCHMARK(BM_GetPosition);

void BM_Goto32(benchmark::State &state) { exchange(state, "r34AB0500,12CE0500"); }
BENCHMARK(BM_Goto32);

// The full profile next to the basic "E": the same query, a binary status reply, a goto, and
// pass-through frames to a motor controller, to the GPS, and to an absent device.
void BM_FullGetPosition(benchmark::State &state) { exchange(state, "E", tqx::Profile::Full); }
BENCHMARK(BM_FullGetPosition);

void BM_FullGetPosition32(benchmark::State &state) { exchange(state, "e", tqx::Profile::Full); }
BENCHMARK(BM_FullGetPosition32);

void BM_FullAligned(benchmark::State &state) { exchange(state, "J", tqx::Profile::Full); }
BENCHMARK(BM_FullAligned);

void BM_FullGoto32(benchmark::State &state)
{
    exchange(state, "r34AB0500,12CE0500", tqx::Profile::Full);
}
BENCHMARK(BM_FullGoto32);

void BM_FullDateTime(benchmark::State &state) { exchange(state, "h", tqx::Profile::Full); }
BENCHMARK(BM_FullDateTime);

void BM_FullMotorVersion(benchmark::State &state)
{
    exchange(state, tqx::bytesOf({'P', 1, 16, 254, 0, 0, 0, 2}), tqx::Profile::Full);
}
BENCHMARK(BM_FullMotorVersion);

void BM_FullGpsTime(benchmark::State &state)
{
    exchange(state, tqx::bytesOf({'P', 1, 176, 51, 0, 0, 0, 3}), tqx::Profile::Full);
}
BENCHMARK(BM_FullGpsTime);

void BM_FullAbsentDevice(benchmark::State &state)
{
    exchange(state, tqx::bytesOf({'P', 1, 18, 254, 0, 0, 0, 2}), tqx::Profile::Full);
}
BENCHMARK(BM_FullAbsentDevice);

// Position queries of the moving mount while a goto is under way: each answer computes the
// pointing from the clock, and azimuth/altitude and J2000 go through sidereal time and the
// precession-nutation matrix. The slow slew rate keeps the goto going for the whole run.
void slewingExchange(benchmark::State &state, const tqx::Bytes &query,
                     tqx::VersionFormat format = tqx::VersionFormat::Binary)
{
    ReplayPort port;
    NullDisplay display;
    tqx::CommandInterpreter interpreter(port, display);
    interpreter.setProfile(tqx::Profile::Full);
    tqx::HandControlSettings settings;
    settings.versionFormat = format;
    settings.slewRate = tqx::HandControlSettings::minSlewRate;
    settings.siteLatitude = 48.86;
    settings.siteLongitude = 2.35;
    interpreter.setHandControlSettings(settings);
    port.next = "rB0000000,E0000000";
    interpreter.frmMain_Comm_OnComm();
    port.next = query;
    for (auto _ : state)
        interpreter.frmMain_Comm_OnComm();
    port.next = "L";
    interpreter.frmMain_Comm_OnComm();
    if (!interpreter.handControl().mount().gotoInProgress())
        state.SkipWithError("the goto ended during the run");
    state.SetItemsProcessed(state.iterations());
}

void BM_SlewingGetPosition32(benchmark::State &state) { slewingExchange(state, "e"); }
BENCHMARK(BM_SlewingGetPosition32);

void BM_SlewingGetPosition32J2000(benchmark::State &state)
{
    slewingExchange(state, "e", tqx::VersionFormat::Hex);
}
BENCHMARK(BM_SlewingGetPosition32J2000);

void BM_SlewingGetAzmAlt32(benchmark::State &state) { slewingExchange(state, "z"); }
BENCHMARK(BM_SlewingGetAzmAlt32);

void BM_SlewingIsGotoInProgress(benchmark::State &state) { slewingExchange(state, "L"); }
BENCHMARK(BM_SlewingIsGotoInProgress);

// "e" with the motors doing more than tracking: a guide pulse on both axes (the answer is the
// same work whether the pulse is still running or has ended), and the drive's periodic error
// with and without playback of the correction table, which sums the table up to the worm's bin.
void motorExchange(benchmark::State &state, const std::vector<tqx::Bytes> &setup,
                   double periodicError)
{
    ReplayPort port;
    NullDisplay display;
    tqx::CommandInterpreter interpreter(port, display);
    interpreter.setProfile(tqx::Profile::Full);
    tqx::HandControlSettings settings;
    settings.model = 14; // an equatorial mount with periodic-error correction
    settings.periodicError = periodicError;
    settings.siteLatitude = 48.86;
    settings.siteLongitude = 2.35;
    interpreter.setHandControlSettings(settings);
    port.next = "s34AB0500,12CE0500";
    interpreter.frmMain_Comm_OnComm();
    for (const tqx::Bytes &command : setup) {
        port.next = command;
        interpreter.frmMain_Comm_OnComm();
    }
    port.next = "e";
    for (auto _ : state)
        interpreter.frmMain_Comm_OnComm();
    state.SetItemsProcessed(state.iterations());
}

void BM_TrackingGetPosition32(benchmark::State &state) { motorExchange(state, {}, 0); }
BENCHMARK(BM_TrackingGetPosition32);

void BM_GuidingGetPosition32(benchmark::State &state)
{
    motorExchange(state,
                  {tqx::bytesOf({'P', 3, 16, 38, 50, 255, 0, 0}),
                   tqx::bytesOf({'P', 3, 17, 38, 50, 255, 0, 0})},
                  0);
}
BENCHMARK(BM_GuidingGetPosition32);

void BM_PeriodicErrorGetPosition32(benchmark::State &state) { motorExchange(state, {}, 20); }
BENCHMARK(BM_PeriodicErrorGetPosition32);

void BM_PecPlaybackGetPosition32(benchmark::State &state)
{
    motorExchange(state, {tqx::bytesOf({'P', 2, 16, 13, 1, 0, 0, 0})}, 20);
}
BENCHMARK(BM_PecPlaybackGetPosition32);

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

// What decoding one exchange costs: headless --decode does it for every line it writes.
void decode(benchmark::State &state, const tqx::Bytes &command, const tqx::Bytes &reply)
{
    const tqx::ExchangeDecoder decoder({tqx::Profile::Full, true, false, false});
    for (auto _ : state)
        benchmark::DoNotOptimize(decoder.exchange(command, reply));
}

void BM_DecodeGoto32(benchmark::State &state) { decode(state, "r3AAAAA00,0E38E300", "#"); }
BENCHMARK(BM_DecodeGoto32);

void BM_DecodeGetPosition32(benchmark::State &state) { decode(state, "e", "310C0500,0BBB0500#"); }
BENCHMARK(BM_DecodeGetPosition32);

void BM_DecodePassThrough(benchmark::State &state)
{
    decode(state, tqx::bytesOf({'P', 1, 16, 254, 0, 0, 0, 2}), tqx::bytesOf({7, 15, '#'}));
}
BENCHMARK(BM_DecodePassThrough);

// What the mount view reads once per frame of the display, during a goto.
void BM_MountReportWhileSlewing(benchmark::State &state)
{
    ReplayPort port;
    NullDisplay display;
    tqx::CommandInterpreter interpreter(port, display);
    interpreter.setProfile(tqx::Profile::Full);
    port.next = "r6AAAAA00,0E38E300";
    interpreter.frmMain_Comm_OnComm();
    for (auto _ : state)
        benchmark::DoNotOptimize(tqx::MountReport::of(interpreter));
}
BENCHMARK(BM_MountReportWhileSlewing);

} // namespace

BENCHMARK_MAIN();
