#include "zem_requestkinds.h"

namespace {

constexpr char kVellum[] = "/cgi-bin/Vellum.exe";
constexpr char kOstler[] = "/cgi-bin/Ostler.exe";
constexpr char kEmpty[] = "";

using K = ZEMRequestKind;
using S = ZEMReplyStyle;

// Rows in the order of ZEMRequestKind.
constexpr std::array<ZEMRequestKindInfo, kRequestKindCount> kTable{{
    {K::Stat, "csStat", kVellum, {{{"report_name", "current_statistics"}, {nullptr, nullptr}}}, "REPORT",
     S::Statistics, kEmpty, kEmpty, "Current statistics request error: %d: %s", kEmpty, kEmpty,
     "Current statistics: ", false, false},
    {K::Adapters, "csAdapters", kOstler, {{{"data_name", "interface_adapters"}, {"action", "get"}}},
     "INTERFACE_ADAPTERS", S::Configuration, "Read Adapters: ", "Get adapters list: ",
     "Cannot read adapters list: %d: %s", "Cannot read adapters list! \nSocket error %d: %s",
     "Read list of adapters: Unable to receive server response due to unknown WinSock error...",
     "Get adapters list: ", true, false},
    {K::SetActiveAdapter, "csSetActiveAdapter", kOstler, {{{"data_name", "cpm_active_adapter"}, {"action", "set"}}},
     "CPM_ACTIVE_ADAPTER", S::Configuration, "Set Active Adapter: ", "Set active adapter: ",
     "Set active adapter request error: %d: %s", "Cannot set active adapter! \nSocket error %d: %s",
     "Set active adapter: Unable to receive server response due to unknown WinSock error...",
     "Set active adapter: ", false, false},
    {K::AdapterConfig, "csAdapterConfig", kOstler, {{{"data_name", "cpm_configuration"}, {"action", "get"}}},
     "CPM_CONFIGURATION", S::Configuration, "Read Adapter Config: ", "Get adapter config: ",
     "Adapter config request error: %d: %s", "Cannot read adapter configuration! \nSocket error %d: %s",
     "Read adapter configuration: Unable to receive server response due to unknown WinSock error...",
     "Read adapter config: ", false, true},
    {K::SaveAdapterConfig, "csSaveAdapterConfig", kOstler,
     {{{"data_name", "cpm_configuration"}, {"action", "set"}}}, "CPM_CONFIGURATION", S::Configuration,
     "Save Adapter Config: ", "Save adapter configuration: ", "Save adapter config request error: %d: %s",
     "Cannot save adapter configuration! \nSocket error %d: %s",
     "Save adapter configuration: Unable to receive server response due to unknown WinSock error...",
     "Save adapter config: ", false, false},
    {K::BillPeriods, "csBillPeriods", kOstler, {{{"data_name", "cpm_billperiods"}, {"action", "get"}}},
     "CPM_BILLPERIODS", S::Configuration, "Read Bill Periods: ", "Get bill periods: ",
     "Read bill periods request error: %d: %s", "Cannot read bill periods! \nSocket error %d: %s",
     "Read bill periods: Unable to receive server response due to unknown WinSock error...",
     "Read bill periods: ", false, true},
    {K::SaveBillPeriods, "csSaveBillPeriods", kOstler, {{{"data_name", "cpm_billperiods"}, {"action", "set"}}},
     "CPM_BILLPERIODS", S::Configuration, "Save Bill Periods: ", "Save bill periods: ",
     "Save bill periods request error: %d: %s", "Cannot save bill periods! \nSocket error %d: %s",
     "Save bill periods: Unable to receive server response due to unknown WinSock error...",
     "Save bill periods: ", false, false},
    {K::Log, "csLog", kVellum, {{{"report_name", "cpm_log"}, {nullptr, nullptr}}}, "CPM_LOG", S::ServerLog,
     kEmpty, kEmpty, "CPM Log request error: %d: %s", kEmpty, kEmpty, "CPM log: ", false, false},
}};

}  // namespace

const ZEMRequestKindInfo &RequestKindInfo(ZEMRequestKind kind) { return kTable[static_cast<std::size_t>(kind)]; }

const std::array<ZEMRequestKindInfo, kRequestKindCount> &RequestKindTable() { return kTable; }
