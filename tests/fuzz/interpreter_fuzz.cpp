// libFuzzer entry point for the command interpreter and the exchange decoder. An input is a
// hand control (profile, firmware, mount, site, clock) and a script of what happens on its line:
// bytes arriving, time passing, the user changing settings. Each exchange and each line of
// unanswered bytes is decoded, and the run stops with a message the moment an invariant fails:
//
// - every reply has the form its command's table row gives it (length, '#', the pass-through's
//   error form), and is the bytes written to the port;
// - the decoder knows every command the interpreter answered and never calls its reply
//   malformed or unexpected; all it says is printable ASCII;
// - the mount's directions and the mount report's marks are finite numbers.
//
// The input, byte by byte (missing bytes read as 0; make_interpreter_corpus.py writes seeds):
//
//   0       flags: 0x01 full profile, 0x02 hexadecimal version format, 0x04 not aligned,
//           0x08 GPS present, 0x10 real-time clock present, 0x20 model byte given,
//           0xC0 coordinates (0 automatic, 1 of the date, 2 J2000, 3 automatic)
//   1       model byte
//   2 3 4   version numbers: major, minor, sub
//   5       version text: 0 "major.minor", 1 "major.minor.sub" with two sub digits, 2 the same
//           with plain digits, 3 four numbers (refused)
//   6 7     site latitude, big-endian signed, 1/364 degree
//   8 9     site longitude, big-endian signed, 1/182 degree
//   10      slew rate: 0 the default, otherwise 0.36 degree per second each (above 250 refused)
//   11 12   automatic reset after, big-endian milliseconds (0 never)
//   13      variant byte ("v")
//   14-17   the computer's clock at the start: big-endian signed minutes from
//           2024-11-12 21:45:30 UTC (some four thousand years either way)
//
// then operations until the input ends:
//
//   0x00-0x7F  a receive event with the next (op + 1) bytes
//   0x80-0xBF  time passes (waitMs[op - 0x80]) on both clocks, then a poll
//   0xC0       new settings from the next 14 bytes, laid out as bytes 0-13 above (flags
//              included, so the profile may change too)
//   0xC1       the other profile
//   0xC2       Reset (the command input buffer)
//   0xC3       Clear (the logs)
//   0xC4 n     n bytes arrive with an event that is not a receive event; they wait in the
//              port for the next receive event
//   0xC5       the computer's clock jumps by the next 4 bytes, big-endian signed seconds
//   0xC6       automatic reset after the next 2 bytes, big-endian milliseconds
//   0xC7       a poll, no time passing
//   0xC8       the mount is checked now
//   0xC9-0xFF  time passes, (op - 0xC8) milliseconds, without a poll
//
// With TQX_FUZZ_TRACE set in the environment, every exchange and unanswered line is printed
// with its meaning, to see what a seed or a finding does.

#include "emulation/CommandInterpreter.h"
#include "emulation/ConsoleDisplay.h"
#include "emulation/ExchangeDecoder.h"
#include "emulation/FullCommandTable.h"
#include "emulation/HexPosition.h"
#include "emulation/MountReport.h"
#include "emulation/SerialControl.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

namespace {

using tqx::Bytes;
using tqx::CommandInterpreter;
using tqx::Profile;

// 2024-11-12 21:45:30 UTC, the clock the interpreter tests start from.
constexpr std::int64_t startUtcMs = 1'731'447'930'000;
constexpr std::int64_t startSteadyMs = 5'000'000;

// Around the interpreter's own limits (the quiet gap of 100 ms, the automatic reset, a goto's
// 23.5 s), then up to years, so that a clock set by a client runs past its layout's range.
constexpr std::array<std::int64_t, 64> waitMs {0,
                                               1,
                                               2,
                                               5,
                                               10,
                                               20,
                                               30,
                                               40,
                                               49,
                                               50,
                                               51,
                                               60,
                                               80,
                                               99,
                                               100,
                                               101,
                                               150,
                                               200,
                                               250,
                                               300,
                                               400,
                                               500,
                                               600,
                                               750,
                                               999,
                                               1'000,
                                               1'001,
                                               1'500,
                                               2'000,
                                               2'500,
                                               3'000,
                                               3'500,
                                               4'000,
                                               5'000,
                                               6'000,
                                               8'000,
                                               10'000,
                                               15'000,
                                               20'000,
                                               23'500,
                                               25'000,
                                               30'000,
                                               45'000,
                                               60'000,
                                               90'000,
                                               120'000,
                                               300'000,
                                               600'000,
                                               1'800'000,
                                               3'600'000,
                                               7'200'000,
                                               21'600'000,
                                               43'200'000,
                                               86'400'000,
                                               172'800'000,
                                               604'800'000,
                                               2'592'000'000,
                                               15'778'800'000,
                                               31'557'600'000,
                                               63'115'200'000,
                                               315'576'000'000,
                                               3'155'760'000'000,
                                               31'557'600'000'000,
                                               315'576'000'000'000};

bool tracing = false;

std::string escaped(std::string_view bytes)
{
    std::string shown;
    for (const char c : bytes) {
        char text[8];
        const auto byte = static_cast<unsigned char>(c);
        std::snprintf(text, sizeof text,
                      byte >= 0x20 && byte < 0x7F && byte != '\\' ? "%c" : "\\x%02X", byte);
        shown += text;
    }
    return shown;
}

void trace(std::string_view first, std::string_view second, const std::string &meaning)
{
    if (tracing)
        std::fprintf(stderr, "%s\t%s\t%s\n", escaped(first).c_str(), escaped(second).c_str(),
                     meaning.c_str());
}

[[noreturn]] void fail(const char *what, std::string_view detail)
{
    std::fprintf(stderr, "interpreter_fuzz: %s: %s\n", what, escaped(detail).c_str());
    std::abort();
}

void check(bool holds, const char *what, std::string_view detail = {})
{
    if (!holds)
        fail(what, detail);
}

bool isPrintable(std::string_view text)
{
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

void checkText(const std::string &text, const char *what)
{
    check(!text.empty(), what, "empty");
    check(isPrintable(text), what, text);
}

bool contains(const std::string &text, std::string_view part)
{
    return text.find(part) != std::string::npos;
}

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool isFinite(tqx::SkyAngles angles)
{
    return std::isfinite(angles.first) && std::isfinite(angles.second);
}

// The input, read front to back; past its end every byte is 0.
class Reader
{
public:
    Reader(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool atEnd() const { return m_at >= m_size; }
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::int64_t bigEndian(int bytes, bool isSigned)
    {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | byte();
        if (isSigned && (value >> (8 * bytes - 1)))
            return static_cast<std::int64_t>(value) - (std::int64_t {1} << (8 * bytes));
        return static_cast<std::int64_t>(value);
    }
    Bytes take(std::size_t count)
    {
        const std::size_t available = m_at < m_size ? m_size - m_at : 0;
        const std::size_t taken = count < available ? count : available;
        Bytes bytes(reinterpret_cast<const char *>(m_data + m_at), taken);
        m_at += taken;
        return bytes;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

struct Setup
{
    Profile profile = Profile::Basic;
    tqx::HandControlSettings settings;
    std::int64_t autoResetMs = 0;
};

Setup readSetup(Reader &in)
{
    Setup setup;
    tqx::HandControlSettings &settings = setup.settings;
    const std::uint8_t flags = in.byte();
    setup.profile = flags & 0x01 ? Profile::Full : Profile::Basic;
    settings.versionFormat = flags & 0x02 ? tqx::VersionFormat::Hex : tqx::VersionFormat::Binary;
    settings.aligned = !(flags & 0x04);
    settings.gpsPresent = flags & 0x08;
    settings.clockPresent = flags & 0x10;
    const std::uint8_t model = in.byte();
    if (flags & 0x20)
        settings.model = model;
    switch (flags >> 6) {
    case 1:
        settings.epoch = tqx::CoordinateEpoch::OfDate;
        break;
    case 2:
        settings.epoch = tqx::CoordinateEpoch::J2000;
        break;
    default:
        settings.epoch = tqx::CoordinateEpoch::Automatic;
        break;
    }
    const unsigned major = in.byte(), minor = in.byte(), sub = in.byte();
    char version[32];
    switch (in.byte() & 3) {
    case 0:
        std::snprintf(version, sizeof version, "%u.%u", major, minor);
        break;
    case 1:
        std::snprintf(version, sizeof version, "%u.%u.%02u", major, minor, sub);
        break;
    case 2:
        std::snprintf(version, sizeof version, "%u.%u.%u", major, minor, sub);
        break;
    default:
        std::snprintf(version, sizeof version, "%u.%u.%u.%u", major, minor, sub, major);
        break;
    }
    settings.version = version;
    settings.siteLatitude = static_cast<double>(in.bigEndian(2, true)) / 364;
    settings.siteLongitude = static_cast<double>(in.bigEndian(2, true)) / 182;
    const std::uint8_t rate = in.byte();
    if (rate != 0)
        settings.slewRate = rate * 0.36;
    setup.autoResetMs = in.bigEndian(2, false);
    settings.variant = in.byte();
    return setup;
}

// The reply length and form each command's table row gives it; empty when the reply has it.
std::string fullReplyProblem(const tqx::HandControlSettings &settings, std::string_view command,
                             std::string_view reply)
{
    using enum tqx::FullAction;
    const tqx::FullCommand *row = tqx::findFullCommand(command[0]);
    if (!row)
        return "answered a byte that begins no command";
    if (command.size() != row->length)
        return "answered a command of " + std::to_string(command.size()) + " bytes, not "
                + std::to_string(row->length);
    if (reply.empty() || reply.back() != '#')
        return "reply does not end with '#'";
    const std::string_view body = reply.substr(0, reply.size() - 1);
    const auto sized = [&](std::size_t size) {
        return body.size() == size ? std::string()
                                   : "reply of " + std::to_string(reply.size()) + " bytes";
    };
    switch (row->action) {
    case GetRaDec16:
    case GetAzmAlt16:
    case GetRaDec32:
    case GetAzmAlt32: {
        const std::size_t digits = row->action == GetRaDec16 || row->action == GetAzmAlt16 ? 4 : 8;
        if (body.size() != 2 * digits + 1 || body[digits] != ',')
            return "position reply of the wrong shape";
        for (std::size_t i = 0; i < body.size(); ++i) {
            if (i != digits && !isUpperHex(body[i]))
                return "position reply with a byte that is no upper-case hexadecimal digit";
        }
        if (digits == 8 && (body.substr(6, 2) != "00" || body.substr(15, 2) != "00"))
            return "precise position whose low byte is not 00";
        return {};
    }
    case IsGotoInProgress:
        return body == "0" || body == "1" ? std::string() : "L answered neither 0 nor 1";
    case IsAligned:
        return body == Bytes(1, settings.aligned ? '\x01' : '\x00') ? std::string()
                                                                    : "J does not say the setting";
    case Echo:
        return body == command.substr(1, 1) ? std::string() : "K did not echo its byte";
    case Version: {
        if (settings.versionFormat == tqx::VersionFormat::Hex) {
            if (body.size() != 6)
                return sized(6);
            for (const char c : body) {
                if (!isUpperHex(c))
                    return "hexadecimal version with a byte that is no digit";
            }
            return {};
        }
        const std::size_t parts = static_cast<std::size_t>(std::count(settings.version.begin(),
                                                                      settings.version.end(), '.'))
                + 1;
        return sized(parts);
    }
    case Variant:
        return body == Bytes(1, static_cast<char>(settings.variant)) ? std::string()
                                                                     : "v is not the variant";
    case Model:
        return body == Bytes(1, static_cast<char>(settings.modelByte())) ? std::string()
                                                                         : "m is not the model";
    case GetTracking:
        return sized(1);
    case GetSite:
    case GetDateTime:
    case GetDateTimeQuarterHourZone:
        return sized(8);
    case PointingSide:
        if (body != "E" && body != "W")
            return "p answered neither E nor W";
        return settings.isEquatorialMount() || body == "W" ? std::string()
                                                           : "an alt-azimuth mount answered E";
    case PassThrough: {
        const auto asked = static_cast<std::uint8_t>(command[7]);
        if (body.size() == asked)
            return {};
        // The error form: the asked-for bytes as zeros, then 0x01.
        if (body.size() == std::size_t {asked} + 1 && body.back() == '\x01'
            && body.substr(0, asked).find_first_not_of('\0') == std::string_view::npos)
            return {};
        return "pass-through reply of " + std::to_string(reply.size()) + " bytes for "
                + std::to_string(asked) + " asked";
    }
    default:
        return sized(0);
    }
}

// The basic table answers from stored texts and fixed replies, one command per event, the
// whole buffer logged as its command.
std::string basicReplyProblem(std::string_view command, std::string_view reply,
                              std::string_view versionBox)
{
    switch (command[0]) {
    case 'E':
    case 'Z':
        return reply.size() == 10 && reply.back() == '#' ? std::string() : "stored position";
    case 'e':
    case 'z':
        return reply.size() == 18 && reply.back() == '#' ? std::string() : "stored position";
    case 'L':
        return reply == "0#" ? std::string() : "L is not 0#";
    case 'J':
        return reply == "1#" ? std::string() : "J is not 1#";
    case 'V':
        return reply == versionBox ? std::string() : "V is not the version box";
    case 'K':
        return command.size() >= 2 && reply == Bytes {command[1], '#'} ? std::string()
                                                                       : "K did not echo";
    case 'R':
    case 'r':
    case 'B':
    case 'b':
    case 'M':
    case 'T':
    case 'P':
        return reply == "#" ? std::string() : "not #";
    case '?':
        return command == "?" && reply == "#" ? std::string() : "? not alone, or not #";
    default:
        return "answered a byte that begins no command";
    }
}

// A basic-profile position query answers what the last goto stored, which need not be a
// position at all: the decoder rightly says so.
bool isStoredNonPosition(std::string_view command, std::string_view reply)
{
    const std::string_view body = reply.substr(0, reply.size() - 1);
    switch (command[0]) {
    case 'E':
    case 'Z':
        return !tqx::HexPosition::decode16(body);
    case 'e':
    case 'z':
        return !tqx::HexPosition::decode32(body);
    default:
        return false;
    }
}

class FuzzPort : public tqx::SerialControl
{
public:
    int CommEvent() const override { return m_event; }
    Bytes Input() override { return std::exchange(m_pending, {}); }
    void Output(const Bytes &bytes) override { lastWrite = bytes; }

    void arrive(CommandInterpreter &interpreter, const Bytes &bytes, int event)
    {
        m_pending += bytes;
        m_event = event;
        interpreter.frmMain_Comm_OnComm();
    }

    Bytes lastWrite;

private:
    int m_event = comEvReceive;
    Bytes m_pending;
};

class FuzzDisplay : public tqx::ConsoleDisplay
{
public:
    FuzzDisplay(const FuzzPort &port, const Bytes &versionBox)
        : m_port(port)
        , m_versionBox(versionBox)
    {
    }

    void attach(const CommandInterpreter &interpreter) { m_interpreter = &interpreter; }

    void InputListAddItem(const Bytes &line) override
    {
        check(!m_commandPending, "two commands logged without a reply between them", line);
        m_command = line;
        m_commandPending = true;
    }
    void RespListAddItem(const Bytes &line) override
    {
        check(m_commandPending, "a reply logged without its command", line);
        m_commandPending = false;
        check(line == m_port.lastWrite, "the logged reply is not what was written", line);
        checkExchange(m_command, line);
    }
    void LogUnanswered(const Bytes &bytes, const std::string &reason) override
    {
        check(!bytes.empty(), "an unanswered line without bytes", reason);
        checkText(reason, "the reason for unanswered bytes");
        const std::string meaning = decoder().unanswered(bytes);
        checkText(meaning, "decoded unanswered bytes");
        trace(bytes, "", meaning + " (" + reason + ")");
        check(meaning.starts_with("unanswered: "), "decoded unanswered bytes", meaning);
    }
    void SetCommandText(const Bytes &buffer, std::uint64_t) override
    {
        check(buffer.size() <= CommandInterpreter::maxBufferSize, "the buffer outgrew its limit");
    }
    Bytes ReadVerText() const override { return m_versionBox; }
    void InputListSelect(std::uint64_t) override { }
    void SetInputLabel(const std::string &) override { }
    void InputListClear() override { }
    void RespListSelect(std::uint64_t) override { }
    void SetRespLabel(const std::string &) override { }
    void RespListClear() override { }

private:
    tqx::ExchangeDecoder decoder() const
    {
        return tqx::ExchangeDecoder(m_interpreter->decodeContext());
    }

    void checkExchange(const Bytes &command, const Bytes &reply) const
    {
        check(!command.empty(), "an answered command without bytes");
        const bool full = m_interpreter->profile() == Profile::Full;
        const std::string problem = full
                ? fullReplyProblem(m_interpreter->handControlSettings(), command, reply)
                : basicReplyProblem(command, reply, m_versionBox);
        check(problem.empty(), problem.c_str(), command + " -> " + reply);

        const tqx::ExchangeDecoder decoder = this->decoder();
        const std::string commandMeaning = decoder.command(command);
        const std::string replyMeaning = decoder.reply(command, reply);
        checkText(commandMeaning, "decoded command");
        checkText(replyMeaning, "decoded reply");
        const std::string exchangeMeaning = decoder.exchange(command, reply);
        checkText(exchangeMeaning, "decoded exchange");
        trace(command, reply, exchangeMeaning);
        check(commandMeaning != "unknown command", "the decoder does not know an answered command",
              command);
        check(!contains(commandMeaning, "incomplete"),
              "the decoder calls an answered command incomplete", commandMeaning);
        check(!contains(commandMeaning, "answered from firmware"),
              "the decoder says the firmware does not answer an answered command", commandMeaning);
        if (!full && isStoredNonPosition(command, reply))
            return;
        check(!contains(replyMeaning, "malformed"), "the decoder calls a real reply malformed",
              command + " -> " + reply + ": " + replyMeaning);
        check(!contains(replyMeaning, "unexpected"), "the decoder calls a real reply unexpected",
              command + " -> " + reply + ": " + replyMeaning);
    }

    const FuzzPort &m_port;
    const Bytes &m_versionBox;
    const CommandInterpreter *m_interpreter = nullptr;
    Bytes m_command;
    bool m_commandPending = false;
};

void checkMark(const tqx::MountReport::Mark &mark)
{
    check(std::isfinite(mark.azimuth) && std::isfinite(mark.altitude),
          "a mount report mark is not a finite direction", mark.label);
}

void checkMount(const CommandInterpreter &interpreter)
{
    const tqx::MountPosition &mount = interpreter.handControl().mount();
    check(isFinite(mount.skyNow()), "right ascension/declination is not finite");
    check(isFinite(mount.horizonNow()), "azimuth/altitude is not finite");
    if (const auto progress = mount.gotoProgress(4)) {
        check(isFinite(progress->target), "a goto's target is not finite");
        check(std::isfinite(progress->remaining), "a goto's remaining angle is not finite");
    }
    const tqx::MountReport report = tqx::MountReport::of(interpreter);
    for (const tqx::MountReport::Row &row : report.rows)
        checkText(row.text, "a mount report row");
    for (const tqx::MountReport::Mark &mark : report.pointings)
        checkMark(mark);
    for (const tqx::MountReport::Mark &mark : report.path)
        checkMark(mark);
    if (report.target)
        checkMark(*report.target);
}

void apply(CommandInterpreter &interpreter, const Setup &setup)
{
    interpreter.setProfile(setup.profile);
    // Settings out of bounds are refused and the previous ones stay, as in the settings dialog.
    interpreter.setHandControlSettings(setup.settings);
    interpreter.setAutoResetAfter(setup.autoResetMs);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tracing = std::getenv("TQX_FUZZ_TRACE") != nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Reader in(data, size);
    const Setup setup = readSetup(in);
    std::int64_t steadyMs = startSteadyMs;
    std::int64_t utcMs = startUtcMs + in.bigEndian(4, true) * 60'000;

    FuzzPort port;
    const Bytes versionBox = setup.settings.version;
    FuzzDisplay display(port, versionBox);
    CommandInterpreter interpreter(port, display);
    display.attach(interpreter);
    interpreter.setClock([&] { return steadyMs; });
    interpreter.setWallClock([&] { return utcMs; });
    apply(interpreter, setup);

    const auto pass = [&](std::int64_t ms) {
        steadyMs += ms;
        utcMs += ms;
    };
    while (!in.atEnd()) {
        const std::uint8_t op = in.byte();
        if (op < 0x80) {
            port.arrive(interpreter, in.take(std::size_t {op} + 1),
                        tqx::SerialControl::comEvReceive);
        } else if (op < 0xC0) {
            pass(waitMs[op - 0x80]);
            interpreter.poll();
            checkMount(interpreter);
        } else if (op == 0xC0) {
            apply(interpreter, readSetup(in));
        } else if (op == 0xC1) {
            interpreter.setProfile(interpreter.profile() == Profile::Full ? Profile::Basic
                                                                          : Profile::Full);
        } else if (op == 0xC2) {
            interpreter.resetBuffer();
        } else if (op == 0xC3) {
            interpreter.clearLogs();
        } else if (op == 0xC4) {
            // A line error, say: the interpreter reads nothing for it.
            port.arrive(interpreter, in.take(in.byte()), 3);
        } else if (op == 0xC5) {
            utcMs += in.bigEndian(4, true) * 1000;
        } else if (op == 0xC6) {
            interpreter.setAutoResetAfter(in.bigEndian(2, false));
        } else if (op == 0xC7) {
            interpreter.poll();
        } else if (op == 0xC8) {
            checkMount(interpreter);
        } else {
            pass(op - 0xC8);
        }
        check(interpreter.InputCount() == interpreter.RespCount(),
              "the logs count commands and replies differently");
    }
    // Long enough for every discard and automatic reset to end.
    pass(86'400'000);
    interpreter.poll();
    checkMount(interpreter);
    return 0;
}
