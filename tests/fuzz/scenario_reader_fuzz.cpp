// libFuzzer entry point: any bytes as a scenario file go to the scenario reader, which must
// return a scenario or an error naming a line of the file, without a crash, sanitizer report or
// hang.

#include "scenario/ScenarioReader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto result = tqx::readScenarioText(text, QStringLiteral("fuzz.toml"));
    if (const auto *error = std::get_if<tqx::ScenarioError>(&result)) {
        if (error->text.isEmpty() || error->line < 0 || error->line > text.count('\n') + 1)
            std::abort(); // an error says what is wrong, and where in the file
    }
    return 0;
}
