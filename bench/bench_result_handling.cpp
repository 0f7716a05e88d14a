// The window's handling of one courier-info reply: a large reply whose non-ASCII text is all
// written as "\u" escapes, next to the same reply with every escape defused into plain ASCII of
// the same length. Handling must grow linearly with the reply, whatever its escapes.

#include "app/colvane.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>
#include <QString>
#include <QTableView>

#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kMiB = 1024 * 1024;
constexpr int kEscapesPerMiB = 50000;
constexpr int kEscapesPerEvent = 10;

// "[深圳转运中心]已发出" and friends, each ten characters written as escapes.
const char* const kEscapedContexts[] = {
    R"(\u3010\u6df1\u5733\u8f6c\u8fd0\u4e2d\u5fc3\u3011\u5df2\u53d1)",
    R"(\u5feb\u4ef6\u5df2\u5230\u8fbe\u3010\u676d\u5dde\u7ad9\u3011)",
    R"(\u6d3e\u4ef6\u5458\u6b63\u5728\u4e3a\u60a8\u6d3e\u4ef6\u4e2d)",
    R"(\u5df2\u7b7e\u6536\uff0c\u7b7e\u6536\u4eba\u662f\u672c\u4eba)",
};

// A courier-info reply of exactly `size` bytes holding exactly `escapes` "\u" escapes.
QByteArray MakeReply(int size, int escapes)
{
    QByteArray data;
    const int events = escapes / kEscapesPerEvent;
    for (int i = 0; i < events; ++i) {
        if (i > 0)
            data += ',';
        data += "{\"time\":\"2024-05-01 12:";
        data += QByteArray::number(10 + i % 50);
        data += ":00\",\"ftime\":\"2024-05-01 12:00:00\",\"context\":\"";
        data += kEscapedContexts[i % 4];
        data += "\",\"location\":\"\"}";
    }
    QByteArray reply = "{\"message\":\"ok\",\"nu\":\"SF1234567890123\",\"ischeck\":\"1\","
                       "\"com\":\"shunfeng\",\"status\":\"200\",\"state\":\"3\",\"data\":[" +
                       data + "],\"remark\":\"";
    const QByteArray end = "\"}";
    if (reply.size() + end.size() > size)
        return QByteArray();
    reply += QByteArray(size - reply.size() - end.size(), 'x');
    reply += end;
    return reply;
}

// The same bytes with every escape turned into plain text of the same length.
QByteArray Defuse(QByteArray reply)
{
    return reply.replace("\\u", "u+");
}

struct Workload {
    const char* name;
    QString text;
};

void HandleReply(benchmark::State& state, const QString* text)
{
    Colvane window;
    QAbstractItemModel* model = window.findChild<QTableView*>()->model();
    for (auto _ : state) {
        window.HandleCatchResult(*text);
        state.PauseTiming();
        const bool added = model->rowCount() == 1;
        model->removeRows(0, model->rowCount());
        state.ResumeTiming();
        if (!added) {
            state.SkipWithError("the reply added no row");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * text->size());
}

// Shows the usual table on stderr and keeps each benchmark's median CPU time.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter() : benchmark::ConsoleReporter(OO_Tabular) { SetOutputStream(&std::cerr); }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        benchmark::ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                failed = true;
            else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
    }

    std::map<std::string, double> medians;
    bool failed = false;
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    const QByteArray escaped1 = MakeReply(kMiB, kEscapesPerMiB);
    const QByteArray escaped4 = MakeReply(4 * kMiB, 4 * kEscapesPerMiB);
    if (escaped1.size() != kMiB || escaped1.count("\\u") != kEscapesPerMiB ||
        escaped4.size() != 4 * kMiB) {
        std::fprintf(stderr, "error: the benchmark replies did not come out as planned\n");
        return 1;
    }
    static const std::vector<Workload> workloads = {
        {"plain/1MiB", QString::fromUtf8(Defuse(escaped1))},
        {"escapes/1MiB", QString::fromUtf8(escaped1)},
        {"escapes/4MiB", QString::fromUtf8(escaped4)},
    };
    for (const Workload& workload : workloads) {
        benchmark::RegisterBenchmark((std::string("HandleCatchResult/") + workload.name).c_str(),
                                     HandleReply, &workload.text)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(9)
            ->ReportAggregatesOnly(true);
    }

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double plain = reporter.medians["HandleCatchResult/plain/1MiB"];
    const double escapes = reporter.medians["HandleCatchResult/escapes/1MiB"];
    const double escapes4 = reporter.medians["HandleCatchResult/escapes/4MiB"];
    if (reporter.failed || plain <= 0 || escapes <= 0 || escapes4 <= 0) {
        std::fprintf(stderr, "error: a result-handling benchmark did not run\n");
        return 1;
    }
    std::printf("result-handling plain 1 MiB: %.2f ms\n", plain);
    std::printf("result-handling escapes 1 MiB: %.2f ms\n", escapes);
    std::printf("result-handling escapes 4 MiB: %.2f ms\n", escapes4);
    std::printf("result-handling escapes/plain ratio: %.2f\n", escapes / plain);
    std::printf("result-handling 4 MiB/1 MiB ratio: %.2f\n", escapes4 / escapes);
    return 0;
}
