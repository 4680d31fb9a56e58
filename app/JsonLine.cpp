#include "app/JsonLine.h"

#include "session/DisplayText.h"

#include <QDateTime>
#include <QTimeZone>

namespace tqx {

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

void appendHex(std::string &out, const Bytes &bytes)
{
    out += '"';
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        out += hexDigits[value >> 4];
        out += hexDigits[value & 0xf];
    }
    out += '"';
}

} // namespace

void appendJsonString(std::string &out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        const auto value = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (value < 0x20 || value == 0x7f) {
                out += "\\u00";
                out += hexDigits[value >> 4];
                out += hexDigits[value & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void JsonLine::begin(std::string &line, std::int64_t msecsSinceEpoch)
{
    std::int64_t second = msecsSinceEpoch / 1000;
    std::int64_t millisecond = msecsSinceEpoch % 1000;
    if (millisecond < 0) {
        second -= 1;
        millisecond += 1000;
    }
    if (second != m_second) {
        m_second = second;
        m_secondText = QDateTime::fromSecsSinceEpoch(second, QTimeZone::utc())
                               .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                               .toStdString();
    }
    line += "{\"time\":\"";
    line += m_secondText;
    line += '.';
    line += static_cast<char>('0' + millisecond / 100);
    line += static_cast<char>('0' + millisecond / 10 % 10);
    line += static_cast<char>('0' + millisecond % 10);
    line += "Z\"";
    if (!m_instance.empty()) {
        line += ",\"instance\":";
        appendJsonString(line, m_instance);
    }
}

std::string JsonLine::exchange(std::int64_t msecsSinceEpoch, const Bytes &command,
                               const Bytes &reply, std::optional<std::string_view> meaning)
{
    std::string line;
    line.reserve(96 + 4 * (command.size() + reply.size()) + (meaning ? meaning->size() : 0));
    begin(line, msecsSinceEpoch);
    std::string text;
    line += ",\"command\":";
    appendDisplayText(text, command);
    appendJsonString(line, text);
    line += ",\"reply\":";
    text.clear();
    appendDisplayText(text, reply);
    appendJsonString(line, text);
    line += ",\"command_hex\":";
    appendHex(line, command);
    line += ",\"reply_hex\":";
    appendHex(line, reply);
    if (meaning) {
        line += ",\"meaning\":";
        appendJsonString(line, *meaning);
    }
    line += "}\n";
    return line;
}

std::string JsonLine::event(std::int64_t msecsSinceEpoch, std::string_view kind,
                            std::string_view text, std::string_view fields)
{
    std::string line;
    line.reserve(64 + kind.size() + text.size() + fields.size());
    begin(line, msecsSinceEpoch);
    line += ",\"event\":";
    appendJsonString(line, kind);
    line += ",\"text\":";
    appendJsonString(line, text);
    if (!fields.empty()) {
        line += ',';
        line += fields;
    }
    line += "}\n";
    return line;
}

} // namespace tqx
