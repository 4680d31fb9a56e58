// Time to read an RTF document into a QTextDocument, over the document's size, for two shapes:
//  - "normal": the shipped command reference repeated, many paragraphs with formatting changes;
//  - "one paragraph": the same text with every paragraph mark taken out, one huge paragraph.
// The reader's cost should grow linearly with the document, so "ms_per_MB" should stay about the
// same from 1 to 20 MB for each shape.
//
//   bench_rtf_reader [--benchmark_filter=...]

#include "RtfReader.h"

#include <QByteArray>
#include <QFile>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr qsizetype oneMegabyte = 1024 * 1024;

// The shipped document's text, between its header (font and colour tables) and its last brace.
struct ShippedDocument
{
    QByteArray header;
    QByteArray body;
};

const ShippedDocument &shippedDocument()
{
    static const ShippedDocument document = [] {
        QFile file(QStringLiteral(TQX_DATA_DIR "/TQX Appendix B.rtf"));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
            std::exit(1);
        }
        const QByteArray rtf = file.readAll();
        const qsizetype bodyStart = rtf.indexOf("\\pard");
        const qsizetype bodyEnd = rtf.lastIndexOf('}');
        return ShippedDocument {rtf.left(bodyStart), rtf.mid(bodyStart, bodyEnd - bodyStart)};
    }();
    return document;
}

// A document of about `megabytes` MB made of the shipped body repeated; without paragraph marks
// when `oneParagraph`.
QByteArray makeDocument(qsizetype megabytes, bool oneParagraph)
{
    QByteArray body = shippedDocument().body;
    if (oneParagraph)
        body.replace("\\par\n", " ").replace("\\par", " ");
    const qsizetype size = megabytes * oneMegabyte;
    QByteArray rtf = shippedDocument().header;
    rtf.reserve(size + body.size() + 2);
    while (rtf.size() < size)
        rtf.append(body);
    rtf.append("}\n");
    return rtf;
}

void readDocument(benchmark::State &state, bool oneParagraph)
{
    const QByteArray rtf = makeDocument(state.range(0), oneParagraph);
    double seconds = 0;
    for (auto _ : state) {
        // Only the read is timed: making and destroying the document are not the reader's work.
        auto document = std::make_unique<QTextDocument>();
        const auto start = std::chrono::steady_clock::now();
        QString error;
        const bool ok = tqx::RtfReader::read(rtf, document.get(), &error);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (!ok) {
            state.SkipWithError(qPrintable(error));
            break;
        }
        benchmark::DoNotOptimize(document->characterCount());
        state.SetIterationTime(elapsed.count());
        seconds += elapsed.count();
    }
    const double megabytes = double(rtf.size()) / oneMegabyte;
    state.SetBytesProcessed(state.iterations() * rtf.size());
    // Constant over the sizes when the cost grows linearly with the document.
    state.counters["ms_per_MB"] = seconds * 1000.0 / double(state.iterations()) / megabytes;
}

void BM_Normal(benchmark::State &state) { readDocument(state, false); }
void BM_OneParagraph(benchmark::State &state) { readDocument(state, true); }

BENCHMARK(BM_Normal)->Arg(1)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_OneParagraph)->Arg(1)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
