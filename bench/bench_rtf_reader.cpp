// Time to read an RTF document into a QTextDocument, over the document's size, for two shapes:
//  - "normal": the shipped command reference repeated, many paragraphs with formatting changes;
//  - "one paragraph": the same text with every paragraph mark taken out, one huge paragraph.
// The reader's cost should grow linearly with the document, so "ms_per_MB" should stay about the
// same from 1 to 20 MB for each shape.
//
// BM_Show* then hand a read document to a text view as the command reference does (long
// paragraphs cut into pieces first) and let the event loop run until the view has laid it all
// out. Their time is that of attaching the document; "layout_s" is how long the lazy layout went
// on, and "longest_turn_ms" the longest the event loop was kept from other events meanwhile: the
// serial port waits that long at most.
//
//   bench_rtf_reader [--benchmark_filter=...]   (runs offscreen unless QT_QPA_PLATFORM says)

#include "reference/frmTQXcommands.h"
#include "rtf/RtfParagraphSplitter.h"
#include "rtf/RtfReader.h"

#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

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
    do
        rtf.append(body);
    while (rtf.size() < size);
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

void showDocument(benchmark::State &state, bool oneParagraph)
{
    const QByteArray rtf = makeDocument(state.range(0), oneParagraph);
    double layoutSeconds = 0;
    qint64 longestTurn = 0;
    for (auto _ : state) {
        auto document = std::make_unique<QTextDocument>();
        tqx::RtfReader::read(rtf, document.get());
        tqx::splitLongParagraphs(document.get(), tqx::frmTQXcommands::longestShownParagraph);
        QTextEdit view;
        view.resize(700, 300);
        view.show();
        QCoreApplication::processEvents();

        QElapsedTimer attach;
        attach.start();
        document->setParent(&view);
        QTextDocument *shown = document.release();
        view.setDocument(shown);
        view.moveCursor(QTextCursor::Start);
        state.SetIterationTime(double(attach.nsecsElapsed()) / 1e9);

        // The lazy layout is done when the last paragraph has lines; five minutes at most.
        QElapsedTimer layout;
        layout.start();
        qint64 lastTurn = 0;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
            const qint64 now = layout.elapsed();
            longestTurn = std::max(longestTurn, now - lastTurn);
            lastTurn = now;
        });
        ticker.start();
        while (shown->lastBlock().layout()->lineCount() == 0 && layout.elapsed() < 300000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        layoutSeconds += double(layout.elapsed()) / 1000.0;
    }
    state.counters["layout_s"] = layoutSeconds / double(state.iterations());
    state.counters["longest_turn_ms"] = double(longestTurn);
}

void BM_ShowNormal(benchmark::State &state) { showDocument(state, false); }
void BM_ShowOneParagraph(benchmark::State &state) { showDocument(state, true); }

BENCHMARK(BM_ShowNormal)->Arg(20)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_ShowOneParagraph)
        ->Arg(20)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();

// Fonts are found and loaded at the first layout; that is not the document's cost.
void warmUp()
{
    QTextEdit view;
    tqx::RtfReader::read(makeDocument(0, false), view.document()); // the shipped document once
    view.show();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    warmUp();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
