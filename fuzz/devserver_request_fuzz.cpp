// Fuzzes the development server's request parsing: the head check, the request line and query, and
// the bill period list a query value may carry. Inputs above twice the request limit are skipped: the
// server refuses them before parsing, so larger inputs only slow the fuzzer down.

#include "billperiods.h"
#include "request.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(2 * devserver::kMaxRequestBytes))
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    if (devserver::checkHead(input) == devserver::HeadStatus::TooLarge)
        return 0;
    devserver::HttpRequest request;
    QString error;
    if (!devserver::parseRequestHead(input, &request, &error))
        return 0;
    for (const QString &value : request.params) {
        devserver::BillPeriodList periods;
        if (devserver::parseBillPeriods(value, &periods, &error)) {
            // What was accepted must come back unchanged through the encoder.
            devserver::BillPeriodList again;
            if (!devserver::parseBillPeriods(devserver::encodeBillPeriods(periods), &again, &error)
                || again != periods)
                __builtin_trap();
        }
    }
    return 0;
}
