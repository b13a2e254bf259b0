#pragma once
// One report plug-in library, loaded for one install or one run: its exports are called with the
// client's ReportBuffer, which is checked for writes past its end and terminated after every call
// before anything reads it.

#include <QLibrary>
#include <QString>
#include <memory>
#include <optional>
#include <stdexcept>

#include "tallyway_report.h"

// The buffer handed to a plug-in's exports: kReportBufferSize bytes as the contract says, followed on
// the heap by a guard region that a plug-in writing too much spoils instead of the client's stack.
// Nothing is ever read from the guard.
class ZEMReportBuffer {
public:
    static constexpr int kGuardSize = 64 * 1024;

    ZEMReportBuffer();
    // Puts `text` (UTF-8) into the buffer; false, leaving the buffer alone, when it needs more than
    // kReportBufferSize - 1 bytes.
    bool Set(const QString &text);
    // The text in the buffer, up to its first NUL; the last byte is made a NUL first.
    QString Text();
    char *Data() { return bytes_.get(); }
    // True when something was written past the first kReportBufferSize bytes.
    bool GuardTouched() const;

private:
    std::unique_ptr<char[]> bytes_;
};

// Raised when a plug-in's export wrote past the end of its buffer: the plug-in is refused.
class ZEMReportOverrun : public std::runtime_error {
public:
    ZEMReportOverrun(const QString &path, const char *exportName);
    QString Message() const { return message_; }

private:
    QString message_;
};

class ZEMReportLibrary {
public:
    explicit ZEMReportLibrary(const QString &path);
    ~ZEMReportLibrary(); // unloads

    bool Load();
    QString ErrorString() const { return library_.errorString(); }
    bool Has(const char *exportName);
    // Calls the export with `buffer`; nothing when the library does not export it. Raises
    // ZEMReportOverrun when the export wrote past the buffer's kReportBufferSize bytes.
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
