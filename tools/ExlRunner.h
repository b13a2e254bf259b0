#pragma once

#include "EXL_Expression.h"
#include "EXL_Parser.h"

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>

class FunctionPluginManager;

namespace exl {

// The work of the exl program: start the service configurator on a configuration file, parse one
// expression and evaluate it for every line of an input stream.
class Runner {
public:
    // Longest input line: the text limit of the sed engine behind match and sed.
    static constexpr std::size_t maxLine = 4000;
    // Longest expression, from -e or a file.
    static constexpr std::size_t maxExpression = 1 << 20;

    // Values go to out through the C streams, as the engine's own output (p, w to standard output)
    // does, so that both keep their order.
    Runner(std::FILE *out, std::ostream &err);
    ~Runner();
    Runner(const Runner &) = delete;
    Runner &operator=(const Runner &) = delete;

    // Loads the services of configFile. Libraries named without a path are found beside the program.
    bool start(const std::string &configFile);
    bool compile(const std::string &expression);
    // 0 when every line succeeded, 1 after an error (the first one ends the run unless keepGoing).
    // A line longer than maxLine is such an error; with keepGoing its rest is read and dropped.
    // in is read through its descriptor, so nothing must be read from it through the stream.
    int run(std::FILE *in, bool keepGoing);

private:
    // The text of the exception in flight, with what was reported before it was thrown.
    std::string currentError() const;

    std::FILE *m_out;
    std::ostream &m_err;
    bool m_started = false;
    FunctionPluginManager *m_manager = nullptr;
    EXL_Scope m_scope;
    EXL_Variable *m_line;
    EXL_Variable *m_lineNumber;
    std::unique_ptr<EXL_Program> m_program;
};

} // namespace exl
