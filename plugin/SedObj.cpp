// Interim implementation: the interface compiles and links; the engine follows.
#include "SedObj.h"

#include <cstdarg>
#include <cstring>

SedObj::SedObj() { clear_current_context(); }
SedObj::~SedObj() = default;

int SedObj::recompile(const char *script) { return script ? 0 : -1; }
int SedObj::clear_current_context()
{
    std::memset(&m_prog, 0, sizeof m_prog);
    return 0;
}
char *SedObj::execute_commands(const char *text)
{
    return text ? execute_commands(text, std::strlen(text), true) : nullptr;
}
char *SedObj::execute_commands(const char *text, std::size_t length, bool)
{
    if (length > static_cast<std::size_t>(maxText))
        length = maxText;
    std::memcpy(m_prog.patternSpace, text, length);
    m_prog.patternSpace[length] = 0;
    m_end = static_cast<int>(length);
    return m_prog.patternSpace;
}
char *SedObj::main_entry(const char *script, const char *text)
{
    if (!script)
        return nullptr;
    recompile(script);
    return execute_commands(text);
}
void SedObj::execute() {}
int SedObj::context_save(int) { return -1; }
int SedObj::context_load(int) { return -1; }
void SedObj::quit(int code)
{
    m_prog.status = code;
    throw SedObjException(code);
}
int SedObj::pr(int, const char *, ...) { return -1; }
void SedObj::listto(const char *, int) {}
void SedObj::set_output(OutputSink sink, void *context)
{
    m_sink = sink;
    m_sinkContext = context;
}
