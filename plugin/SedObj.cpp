// SedObj: construction, output, errors and the saved contexts.
#include "SedObj.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

void writeStandardOutput(void *, const char *data, std::size_t length)
{
    std::fwrite(data, 1, length, stdout);
}

void writeStandardError(void *, const char *data, std::size_t length)
{
    // What went to standard output before comes first.
    std::fflush(stdout);
    std::fwrite(data, 1, length, stderr);
}

} // namespace

SedObj::SedObj() : m_sink(writeStandardOutput), m_errorSink(writeStandardError)
{
    // Only the small state is written here: the tables are prepared when first used, and the
    // program tables are cleared as far as a program has used them (none yet).
    m_prog.currentCommand = 0;
    m_prog.poolPointer = 0;
    clear_current_context();
    m_writeFiles[0] = 1;
}

SedObj::~SedObj()
{
    for (int slot = 1; slot < m_writeFileCount; ++slot)
        if (m_writeFiles[slot] != errorSinkFile)
            ::close(m_writeFiles[slot]);
}

void SedObj::quit(int code)
{
    m_prog.status = code;
    throw SedObjException(code);
}

void SedObj::setError(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_prog.errorString, errorSize, format, args);
    va_end(args);
}

const char *SedObj::shown(const char *argument)
{
    const std::size_t length = std::strlen(argument);
    const std::size_t kept = length > shownLength ? shownLength - 3 : length;
    for (std::size_t i = 0; i < kept; ++i) {
        const unsigned char c = static_cast<unsigned char>(argument[i]);
        m_shown[i] = c < 32 || c == 127 ? '?' : static_cast<char>(c);
    }
    if (kept < length)
        std::memcpy(m_shown + kept, "...", 3);
    m_shown[length > shownLength ? shownLength : length] = 0;
    return m_shown;
}

void SedObj::set_output(OutputSink sink, void *context)
{
    m_sink = sink ? sink : writeStandardOutput;
    m_sinkContext = context;
}

void SedObj::set_error_output(OutputSink sink, void *context)
{
    m_errorSink = sink ? sink : writeStandardError;
    m_errorSinkContext = context;
}

void SedObj::emit(int file, const char *data, std::size_t length)
{
    if (file <= 0 || file >= m_writeFileCount) {
        m_sink(m_sinkContext, data, length);
        return;
    }
    if (m_writeFiles[file] == errorSinkFile) {
        m_errorSink(m_errorSinkContext, data, length);
        return;
    }
    while (length > 0) {
        const ssize_t written = ::write(m_writeFiles[file], data, length);
        if (written <= 0)
            return;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

int SedObj::pr(int file, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(m_printBuffer, sizeof m_printBuffer, format, args);
    va_end(args);
    if (n < 0 || n >= static_cast<int>(sizeof m_printBuffer))
        return -1;
    emit(file, m_printBuffer, static_cast<std::size_t>(n));
    return n;
}

void SedObj::listto(const char *text, int file)
{
    char chunk[256];
    int n = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
        if (n > static_cast<int>(sizeof chunk) - 4) {
            emit(file, chunk, static_cast<std::size_t>(n));
            n = 0;
        }
        const char *escape = nullptr;
        switch (*c) {
        case '\b':
            escape = "\\b";
            break;
        case '\t':
            escape = "\\t";
            break;
        case '\n':
            escape = "\\n";
            break;
        case '\r':
            escape = "\\r";
            break;
        case 033:
            escape = "\\e";
            break;
        default:
            break;
        }
        if (escape) {
            chunk[n++] = escape[0];
            chunk[n++] = escape[1];
        } else if (*c >= 32 && *c < 127) {
            chunk[n++] = static_cast<char>(*c);
        } else {
            static const char hex[] = "0123456789abcdef";
            chunk[n++] = '\\';
            chunk[n++] = hex[*c >> 4];
            chunk[n++] = hex[*c & 15];
        }
    }
    chunk[n++] = '\n';
    emit(file, chunk, static_cast<std::size_t>(n));
}

int SedObj::context_save(int id)
{
    int slot;
    if (id == -1) {
        if (m_contextsInUse >= contextCount)
            return -1;
        slot = m_contextsInUse++;
    } else if (id >= 0 && id < m_contextsInUse) {
        slot = id;
    } else {
        return -1;
    }
    std::memcpy(&m_contextSlots[slot], &m_prog, sizeof m_prog);
    m_currentContext = slot;
    return slot;
}

int SedObj::context_load(int id)
{
    if (id < 0 || id >= m_contextsInUse)
        return -1;
    std::memcpy(&m_prog, &m_contextSlots[id], sizeof m_prog);
    m_end = static_cast<int>(std::strlen(m_prog.patternSpace));
    // The loaded program may reach further than the one it replaced.
    m_commandsUsed = commandCount + 1;
    m_poolUsed = poolSize;
    m_currentContext = id;
    return 0;
}
