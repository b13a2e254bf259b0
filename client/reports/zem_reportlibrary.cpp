#include "zem_reportlibrary.h"

#include <cstring>

namespace {

// The guard's fill: a plug-in that writes past its buffer almost never writes exactly this.
constexpr char kGuardByte = static_cast<char>(0xA5);

} // namespace

ZEMReportBuffer::ZEMReportBuffer() : bytes_(new char[kReportBufferSize + kGuardSize])
{
    std::memset(bytes_.get(), 0, kReportBufferSize);
    std::memset(bytes_.get() + kReportBufferSize, kGuardByte, kGuardSize);
}

bool ZEMReportBuffer::Set(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > kReportBufferSize - 1)
        return false;
    std::memset(bytes_.get(), 0, kReportBufferSize);
    std::memcpy(bytes_.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

QString ZEMReportBuffer::Text()
{
    // A plug-in may have filled every byte without a NUL: the text then ends before the last byte.
    bytes_[kReportBufferSize - 1] = 0;
    return QString::fromUtf8(bytes_.get(), static_cast<qsizetype>(std::strlen(bytes_.get())));
}

bool ZEMReportBuffer::GuardTouched() const
{
    const char *guard = bytes_.get() + kReportBufferSize;
    for (int i = 0; i < kGuardSize; ++i)
        if (guard[i] != kGuardByte)
            return true;
    return false;
}

ZEMReportOverrun::ZEMReportOverrun(const QString &path, const char *exportName)
    : std::runtime_error(exportName),
      message_(QStringLiteral("The report plug-in \"%1\" wrote past the end of its %2-byte buffer in %3(); "
                              "it is refused.")
                   .arg(path)
                   .arg(kReportBufferSize)
                   .arg(QLatin1String(exportName)))
{
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
    const int result = function(buffer.Data());
    if (buffer.GuardTouched())
        throw ZEMReportOverrun(library_.fileName(), exportName);
    return result;
}

std::optional<QString> ZEMReportLibrary::Text(const char *exportName)
{
    ZEMReportBuffer buffer;
    if (!Call(exportName, buffer))
        return std::nullopt;
    return buffer.Text();
}
