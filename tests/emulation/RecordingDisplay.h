#pragma once

#include "emulation/ConsoleDisplay.h"

#include <string>
#include <vector>

// A console display that keeps what the window would show and the order of the calls made to it.
class RecordingDisplay : public tqx::ConsoleDisplay
{
public:
    void InputListAddItem(const tqx::Bytes &line) override
    {
        calls.push_back("InputList+" + line);
        inputLines.push_back(line);
    }
    void InputListSelect(std::uint64_t index) override
    {
        calls.push_back("InputList@" + std::to_string(index));
        inputSelected = static_cast<long long>(index);
    }
    void SetInputLabel(const std::string &text) override
    {
        calls.push_back("InputLabel=" + text);
        inputLabel = text;
    }
    void InputListClear() override
    {
        calls.push_back("InputList.clear");
        inputLines.clear();
        inputSelected = -1;
    }
    void RespListAddItem(const tqx::Bytes &line) override
    {
        calls.push_back("RespList+" + line);
        respLines.push_back(line);
    }
    void RespListSelect(std::uint64_t index) override
    {
        calls.push_back("RespList@" + std::to_string(index));
        respSelected = static_cast<long long>(index);
    }
    void SetRespLabel(const std::string &text) override
    {
        calls.push_back("RespLabel=" + text);
        respLabel = text;
    }
    void RespListClear() override
    {
        calls.push_back("RespList.clear");
        respLines.clear();
        respSelected = -1;
    }
    void SetCommandText(const tqx::Bytes &buffer, std::uint64_t droppedBytes) override
    {
        calls.push_back("CommandText=" + buffer);
        commandText = buffer;
        dropped = droppedBytes;
        ++commandTextUpdates;
    }
    tqx::Bytes ReadVerText() const override { return verText; }
    void LogUnanswered(const tqx::Bytes &bytes, const std::string &reason) override
    {
        calls.push_back("Unanswered+" + bytes);
        unanswered.push_back(bytes);
        unansweredReasons.push_back(reason);
    }

    std::vector<std::string> calls;
    std::vector<tqx::Bytes> inputLines;
    std::vector<tqx::Bytes> respLines;
    long long inputSelected = -1;
    long long respSelected = -1;
    std::string inputLabel = "0";
    std::string respLabel = "0";
    tqx::Bytes commandText;
    std::uint64_t dropped = 0;
    int commandTextUpdates = 0;
    tqx::Bytes verText = "22";
    std::vector<tqx::Bytes> unanswered;
    std::vector<std::string> unansweredReasons;
};
