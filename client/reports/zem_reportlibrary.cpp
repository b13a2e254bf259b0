#include "zem_reportlibrary.h"

#include <cstring>

bool ZEMReportBuffer::Set(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > kReportBufferSize - 1)
        return false;
    bytes_.fill(0);
    std::memcpy(bytes_.data(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

QString ZEMReportBuffer::Text()
{
    // A plug-in may have filled every byte without a NUL: the text then ends before the last byte.
    bytes_[kReportBufferSize - 1] = 0;
    return QString::fromUtf8(bytes_.data(), static_cast<qsizetype>(std::strlen(bytes_.data())));
}

ZEMReportLibrary::ZEMReportLibrary(const QString &path) : library_(path)
{
    // A library that needs a symbol nobody provides fails to load, instead of failing in a call later.
    library_.setLoadHints(QLibrary::ResolveAllSymbolsHint);
}

ZEMReportLibrary::~ZEMReportLibrary()
{
    if (library_.isLoaded())
        library_.unload();
}

bool ZEMReportLibrary::Load() { return library_.load(); }

bool ZEMReportLibrary::Has(const char *exportName) { return library_.resolve(exportName) != nullptr; }

std::optional<int> ZEMReportLibrary::Call(const char *exportName, ZEMReportBuffer &buffer)
{
    const auto function = reinterpret_cast<ZEMReportFunction>(library_.resolve(exportName));
    if (!function)
        return std::nullopt;
    return function(buffer.Data());
}

std::optional<QString> ZEMReportLibrary::Text(const char *exportName)
{
    ZEMReportBuffer buffer;
    if (!Call(exportName, buffer))
        return std::nullopt;
    return buffer.Text();
}
