// libFuzzer entry point: any bytes go to the RTF reader, which must return without a crash,
// sanitizer report or hang, whether it accepts them or not. Building a QTextDocument needs no
// QGuiApplication, so none is created.

#include "rtf/RtfReader.h"

#include <QByteArray>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray rtf = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                   static_cast<qsizetype>(size));
    QTextDocument document;
    QString error;
    if (tqx::RtfReader::read(rtf, &document, &error))
        // Walk the result as a view would when it copies or saves the text.
        (void)document.toPlainText();
    return 0;
}
