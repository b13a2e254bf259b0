// Fuzzes the parameter-speciality text a report plug-in gives: the input is the plug-in's buffer as it
// hands it over (read up to its first NUL, as the report controller reads it), and the speciality
// entries are applied to the first request's parameters. A broken text must end in SymbolExpected and
// nothing else; a text read to its end must give a query of named entries that still ends in the list
// of known adapters.

#include "zem_reportlibrary.h"
#include "zem_reportparams.h"
#include "zem_simplexml.h"

#include <QRegularExpression>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The plug-in writes into a buffer of kReportBufferSize bytes, so no longer text can reach the parser.
constexpr size_t kMaxInput = kReportBufferSize;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    ZEMReportBuffer buffer;
    std::memcpy(buffer.Data(), data, size < kMaxInput ? size : kMaxInput);
    const QString text = buffer.Text();

    ZEMInitialParamsInput input;
    input.clockNow = 38063.599; // 17/03/2004 14:22:33
    input.clockToday = 38063;
    input.weekBegin = 38061;     // Monday
    input.weekEnd = 38067.99999; // Sunday, end of day
    input.activeAlias = QStringLiteral("eth0");
    input.knownAliases = {QStringLiteral("eth0"), QStringLiteral("lan")};
    QString params;
    try {
        params = InitialReportParams(input, &text);
    } catch (const SymbolExpected &) {
        return 0;
    }
    // Names are identifiers: no entry may lose its name or bring a "&" or "=" of its own into the query.
    static const QRegularExpression entry(QStringLiteral("[?&]([^=&]*)=([^&]*)"));
    for (auto match = entry.globalMatch(params); match.hasNext();) {
        const auto found = match.next();
        if (found.captured(1).isEmpty())
            __builtin_trap();
    }
    if (!params.endsWith(QStringLiteral("&adapters_list=(eth0,lan)")))
        __builtin_trap();
    return 0;
}
