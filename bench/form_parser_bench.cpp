// Throughput of the information answer's parser on a large answer.
//   form_parser_bench                       Google Benchmark figures (bytes_per_second)
//   form_parser_bench --write-sample FILE   writes the answer, for the reference run
#include <QFile>
#include <QString>

#include <benchmark/benchmark.h>

#include <cstring>

#include "extractor/form_parser.h"
#include "extractor/vx_youtube_extractor.h"
#include "video_info_sample.h"

namespace {

const QByteArray& sample() {
    static const QByteArray answer = clipmoor::bench::makeVideoInfoAnswer(1000 * 1000);
    return answer;
}

// The top-level form parse alone: the same work as a generic query-string parser.
void BM_FormParse(benchmark::State& state) {
    const QString text = QString::fromLatin1(sample());
    for (auto _ : state) benchmark::DoNotOptimize(clipmoor::dictionaryFromQueryString(text));
    state.SetBytesProcessed(state.iterations() * sample().size());
}
BENCHMARK(BM_FormParse)->Unit(benchmark::kMillisecond);

// The whole answer: top level, every stream entry, the filter.
void BM_WholeAnswer(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            clipmoor::VXYouTubeExtractor::parseVideoInfoAnswer(sample(), "id"));
    state.SetBytesProcessed(state.iterations() * sample().size());
}
BENCHMARK(BM_WholeAnswer)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-sample") == 0) {
        QFile file(QString::fromLocal8Bit(argv[2]));
        if (!file.open(QIODevice::WriteOnly) || file.write(sample()) != sample().size()) return 1;
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
