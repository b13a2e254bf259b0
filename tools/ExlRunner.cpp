#include "ExlRunner.h"

#include "EXL_Exceptions.h"
#include "FunctionPluginManager.h"
#include "SedObj.h"

#include <ace/Service_Config.h>

#include <cerrno>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <iostream>
#include <unistd.h>
#include <vector>

namespace exl {

static_assert(Runner::maxLine == static_cast<std::size_t>(SedObj::maxText));

namespace {

// The lines of a stream, read in blocks from its descriptor and split with memchr.
class LineInput {
public:
    enum Result { Line, End, TooLong };

    explicit LineInput(std::FILE *in) : m_in(in) {}

    // The next line without its line feed, of at most limit characters; a longer one is TooLong
    // with its rest unread (skipLine drops it).  A last line without a line feed counts too.
    Result next(std::string &line, std::size_t limit)
    {
        line.clear();
        for (;;) {
            const char *start = m_buffer.data() + m_begin;
            const std::size_t available = m_end - m_begin;
            const std::size_t wanted = std::min(available, limit + 1 - line.size());
            const char *newline = static_cast<const char *>(std::memchr(start, '\n', wanted));
            const std::size_t length = newline ? static_cast<std::size_t>(newline - start) : wanted;
            line.append(start, length);
            m_begin += length;
            if (line.size() > limit)
                return TooLong;
            if (newline) {
                ++m_begin;
                return Line;
            }
            if (!fill())
                return line.empty() ? End : Line;
        }
    }

    // Reads and drops the rest of the current line.
    void skipLine()
    {
        do {
            const char *start = m_buffer.data() + m_begin;
            const char *newline = static_cast<const char *>(std::memchr(start, '\n', m_end - m_begin));
            if (newline) {
                m_begin = static_cast<std::size_t>(newline - m_buffer.data()) + 1;
                return;
            }
            m_begin = m_end;
        } while (fill());
    }

    // errno of a failed read, else 0.
    int error() const { return m_error; }

private:
    // Reads what is there once the buffer is used up (a pipe gives its lines as they come); false
    // at the end of the input or after a read error.
    bool fill()
    {
        m_begin = 0;
        m_end = 0;
        ssize_t n;
        do
            n = ::read(fileno(m_in), m_buffer.data(), m_buffer.size());
        while (n < 0 && errno == EINTR);
        if (n < 0)
            m_error = errno;
        else
            m_end = static_cast<std::size_t>(n);
        return n > 0;
    }

    std::FILE *m_in;
    std::vector<char> m_buffer = std::vector<char>(1 << 16);
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    int m_error = 0;
};

std::string withoutTrailingNewline(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

Runner::Runner(std::FILE *out, std::ostream &err)
    : m_out(out), m_err(err), m_line(m_scope.Declare("line", EXL_TYPE_STRING)),
      m_lineNumber(m_scope.Declare("lineno", EXL_TYPE_LONG))
{
}

Runner::~Runner()
{
    // Function objects belong to the plug-ins' code: they go before the plug-ins are unloaded.
    m_program.reset();
    if (m_started)
        ACE_Service_Config::close();
}

bool Runner::start(const std::string &configFile)
{
    // Explicit arguments: only this file (never ./svc.conf), no static services.
    std::vector<std::string> words = {"exl", "-n", "-f", configFile};
    std::vector<ACE_TCHAR *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    // Opening the configurator installs a reconfiguration handler for SIGHUP; exl reconfigures
    // nothing, so the signal keeps the disposition it had.
    struct sigaction hangup {};
    sigaction(SIGHUP, nullptr, &hangup);
    struct RestoreHangup {
        const struct sigaction &saved;
        ~RestoreHangup() { sigaction(SIGHUP, &saved, nullptr); }
    } restore{hangup};
    int result = 0;
    try {
        result = ACE_Service_Config::open(static_cast<int>(words.size()), argv.data(), ACE_DEFAULT_LOGGER_KEY,
                                          true, true, true);
    } catch (const EXL_BaseException &error) {
        m_err << "exl: a service of " << configFile << " failed to initialise: " << error.message() << "\n";
        return false;
    }
    m_started = true;
    if (result != 0) {
        m_err << "exl: " << configFile
              << (result < 0 ? ": cannot read the service configuration\n"
                             : ": the service configuration has errors\n");
        return false;
    }
    m_manager = FunctionPluginManager::Find(FunctionPluginManager::defaultServiceName);
    if (!m_manager) {
        m_err << "exl: " << configFile << " loads no service \"" << FunctionPluginManager::defaultServiceName
              << "\"\n";
        return false;
    }
    return true;
}

bool Runner::compile(const std::string &expression)
{
    try {
        EXL_Base::ClearReportedError();
        m_program = EXL_Parse(expression, m_manager);
        m_program->Bind(&m_scope);
        return true;
    } catch (...) {
        m_err << "exl: " << currentError() << "\n";
        m_program.reset();
        return false;
    }
}

int Runner::run(std::FILE *in, bool keepGoing)
{
    if (!m_program)
        return 2;
    int status = 0;
    std::string line;
    line.reserve(maxLine);
    long number = 0;
    LineInput input(in);
    for (LineInput::Result got; (got = input.next(line, maxLine)) != LineInput::End;) {
        ++number;
        if (got == LineInput::TooLong) {
            std::fflush(m_out);
            m_err << "exl: line " << number << " is longer than " << maxLine << " characters\n";
            status = 1;
            if (!keepGoing)
                break;
            input.skipLine();
            continue;
        }
        try {
            EXL_Base::ClearReportedError();
            m_line->Set(EXL_Variant(line));
            m_lineNumber->Set(EXL_Variant(number));
            m_program->Evaluate();
            const std::string value = m_program->root()->asString(nullptr);
            std::fwrite(value.data(), 1, value.size(), m_out);
            std::fputc('\n', m_out);
        } catch (const SedObjException &quit) {
            if (quit.code() == 0)
                break; // the q command: the input ends here
            m_err << "exl: line " << number << ": " << currentError() << "\n";
            status = 1;
        } catch (...) {
            m_err << "exl: line " << number << ": " << currentError() << "\n";
            status = 1;
        }
        if (status != 0 && !keepGoing)
            break;
    }
    if (input.error()) {
        std::fflush(m_out);
        m_err << "exl: cannot read the input: " << std::strerror(input.error()) << "\n";
        status = 1;
    }
    std::fflush(m_out);
    return status;
}

std::string Runner::currentError() const
{
    const std::string reported = withoutTrailingNewline(EXL_Base::LastReportedError());
    std::string detail;
    try {
        throw;
    } catch (const EXL_ImproperNumberOfArguments &error) {
        detail = "wrong number of arguments for " + error.message();
    } catch (const EXL_ImproperTypeOfArgument &error) {
        detail = "wrong type of argument: " + error.message();
    } catch (const EXL_BaseException &error) {
        detail = error.message();
    } catch (const SedObjException &error) {
        // The engine's own message was reported as the exception left it.
        if (!reported.empty())
            return reported;
        detail = "sed engine error " + std::to_string(error.code());
    } catch (const std::exception &error) {
        detail = error.what();
    } catch (...) {
        detail = "unknown error";
    }
    if (reported.empty() || reported == detail)
        return detail;
    if (detail.empty())
        return reported;
    return reported + " (" + detail + ")";
}

} // namespace exl
