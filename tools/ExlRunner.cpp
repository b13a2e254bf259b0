#include "ExlRunner.h"

#include "EXL_Exceptions.h"
#include "FunctionPluginManager.h"
#include "SedObj.h"

#include <ace/Service_Config.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <vector>

namespace exl {

namespace {

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
    char *buffer = nullptr;
    std::size_t capacity = 0;
    long number = 0;
    for (ssize_t length; (length = getline(&buffer, &capacity, in)) >= 0;) {
        ++number;
        if (length > 0 && buffer[length - 1] == '\n')
            --length;
        try {
            EXL_Base::ClearReportedError();
            m_line->Set(EXL_Variant(std::string(buffer, static_cast<std::size_t>(length))));
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
    std::free(buffer);
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
