// Fuzzes the files the development server reads at start: the first byte picks the state file, the
// adapter fixture or the fault file, the rest is its content. What is accepted must survive: a state
// written back reads back equal, fixture counters stay defined far into the future, and the faults
// can be taken.

#include "adapters.h"
#include "faults.h"
#include "state.h"

#include <cstddef>
#include <cstdint>

namespace {

// Inputs are capped at 64 KiB: all three are JSON documents whose parser is linear, and the checks
// after it see every field of a small document as well as of a large one.
constexpr size_t kMaxInput = 64 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > kMaxInput)
        return 0;
    const QByteArray json(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    QString error;
    switch (data[0] % 3) {
    case 0: {
        devserver::ServerState state;
        if (devserver::stateFromJson(json, &state, &error)) {
            devserver::ServerState again;
            if (!devserver::stateFromJson(devserver::stateToJson(state), &again, &error) || !(again == state))
                __builtin_trap();
        }
        break;
    }
    case 1: {
        QDateTime now(QDate(2004, 3, 15), QTime(12, 0));
        const devserver::Clock clock([&] { return now; });
        const auto source = devserver::FixtureAdapterSource::fromJson(json, &clock, &error);
        if (source) {
            now = QDateTime(QDate(9999, 12, 31), QTime(23, 59));
            devserver::ByteCounters counters;
            for (const devserver::NetAdapter &adapter : source->adapters())
                source->counters(adapter.physicalName, &counters);
        }
        break;
    }
    default: {
        devserver::FaultBook book;
        if (book.loadJson(json, &error))
            for (const char *kind : {"cpm_log", "interface_adapters.get", "report.daily_traffic"})
                (void)book.take(QLatin1String(kind));
        break;
    }
    }
    return 0;
}
