// A server that names none of its adapters sends a list the client must name itself (eth0, eth1, ...).
// This measures a reply of 1,000 to 10,000 such adapters from the reply text to the sorted tree; every
// step should grow about linearly, and 4,000 adapters should take well under a second in all.
//
//   build/bin/adapters_bench [--benchmark_filter=...]

#include "zem_adapterlist.h"
#include "zem_adaptertree.h"
#include "zem_envelope.h"
#include "zem_prompt.h"
#include "zem_simplexml.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

class QuietSink : public ZEMExchangeSink, ZEMPrompt {
public:
    void ClientLog(const QString &, const QString &) override {}
    void StatusText(const QString &) override {}
    ZEMPrompt &Prompt() override { return *this; }
    int MessageBox(const QString &, int) override { return ZEMPromptResult::Ok; }
    int DontShowMe(const QString &, int, bool &) override { return ZEMPromptResult::Ok; }
};

QString UnnamedAdapters(int count)
{
    QString text = QStringLiteral("<INTERFACE_ADAPTERS><ACTIVE_ADAPTER></ACTIVE_ADAPTER><ADAPTERS_LIST>");
    for (int i = 0; i < count; ++i)
        text +=
            QStringLiteral("<ADAPTER ADAPTER_NAME=\"Network adapter %1\" ADAPTER_PHYSICAL_NAME=\"\\Device\\"
                           "NPF_{%1}\"/>")
                .arg(i);
    return text + QStringLiteral("</ADAPTERS_LIST></INTERFACE_ADAPTERS>");
}

ZEMAdapterList ReadList(const QString &reply)
{
    ZEMXMLItem root;
    ReadRootElement(reply, QStringLiteral("INTERFACE_ADAPTERS"), root);
    ZEMAdapterListState state;
    QuietSink sink;
    return ParseAdapterList(root, state, false, sink);
}

void BM_ReadAndNameAdapters(benchmark::State &state)
{
    const QString reply = UnnamedAdapters(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadList(reply));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadAndNameAdapters)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_ReadNameAndFillTree(benchmark::State &state)
{
    const QString reply = UnnamedAdapters(static_cast<int>(state.range(0)));
    TZEMAdapterTree tree;
    // The records the tree shows, kept as the adapter controller keeps them: a moved vector keeps its
    // elements where they are.
    std::vector<ZEMTreeNode> shown;
    for (auto _ : state) {
        std::vector<ZEMTreeNode> adapters = ReadList(reply).adapters;
        tree.ShowAdapters(adapters);
        shown = std::move(adapters);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadNameAndFillTree)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
