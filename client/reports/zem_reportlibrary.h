#pragma once
// One report plug-in library, loaded for one install or one run: its exports are called with the
// client's ReportBuffer, which is terminated after every call before anything reads it.

#include <QLibrary>
#include <QString>
#include <array>
#include <optional>

#include "tallyway_report.h"

// The buffer handed to a plug-in's exports.
class ZEMReportBuffer {
public:
    ZEMReportBuffer() { bytes_.fill(0); }
    // Puts `text` (UTF-8) into the buffer; false, leaving the buffer alone, when it needs more than
    // kReportBufferSize - 1 bytes.
    bool Set(const QString &text);
    // The text in the buffer, up to its first NUL; the last byte is made a NUL first.
    QString Text();
    char *Data() { return bytes_.data(); }

private:
    std::array<char, kReportBufferSize> bytes_;
};

class ZEMReportLibrary {
public:
    explicit ZEMReportLibrary(const QString &path);
    ~ZEMReportLibrary(); // unloads

    bool Load();
    QString ErrorString() const { return library_.errorString(); }
    bool Has(const char *exportName);
    // Calls the export with `buffer`; nothing when the library does not export it.
    std::optional<int> Call(const char *exportName, ZEMReportBuffer &buffer);
    // Calls an export that takes no input and gives a text: the buffer starts empty.
    std::optional<QString> Text(const char *exportName);

private:
    QLibrary library_;
};

// The names of the exports.
inline constexpr char kExportSymbolicName[] = "_GetSymbolicName";
inline constexpr char kExportTitle[] = "_GetTitle";
inline constexpr char kExportDescription[] = "_GetDescription";
inline constexpr char kExportParamsSpecialities[] = "_GetParamsSpecialities";
inline constexpr char kExportRunReport[] = "_RunReport";
