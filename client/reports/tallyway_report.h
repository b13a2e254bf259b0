#pragma once
// The contract between the client and a report plug-in: a shared library that exports the five plain C
// functions below under exactly these names (the leading underscore is part of the name). Each takes a
// pointer to one ReportBuffer of kReportBufferSize bytes that the client owns; texts in it are
// NUL-terminated, so a text holds at most 1023 bytes (UTF-8).
//
//   _GetSymbolicName       writes the report's symbolic name, unique among the installed reports
//   _GetTitle              writes the caption of the report's menu item
//   _GetDescription        writes the hint of the report's menu item
//   _GetParamsSpecialities (optional) writes entries "name = Function();" that set parameters of the
//                          first run, e.g. "period_from=WeekBegin();period_to=WeekEnd();"
//   _RunReport             receives the parameters as a query string ("?adapter_name=eth0&..."), may ask
//                          the user for more, and writes the server path and query of the report page
//                          ("/cgi-bin/Vellum.exe?report_name=..."); returns non-zero to show the report,
//                          0 to cancel
//
// The client loads the library for one install or one run and unloads it right after, so a plug-in
// keeps no state between calls. The client terminates the buffer after every call, so a text written
// without its NUL is cut at 1023 bytes rather than read past the end.

#ifdef __cplusplus
extern "C" {
#endif

enum { kReportBufferSize = 1024 };

typedef char ReportBuffer[kReportBufferSize];

#if defined(_WIN32)
#define TALLYWAY_REPORT_EXPORT __declspec(dllexport)
#else
#define TALLYWAY_REPORT_EXPORT __attribute__((visibility("default")))
#endif

typedef int (*ZEMReportFunction)(char *buffer);

TALLYWAY_REPORT_EXPORT int _GetSymbolicName(char *buffer);
TALLYWAY_REPORT_EXPORT int _GetTitle(char *buffer);
TALLYWAY_REPORT_EXPORT int _GetDescription(char *buffer);
TALLYWAY_REPORT_EXPORT int _GetParamsSpecialities(char *buffer);
TALLYWAY_REPORT_EXPORT int _RunReport(char *buffer);

#ifdef __cplusplus
}
#endif
