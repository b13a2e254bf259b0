// exl: evaluates one expression of the expression language for every line of standard input.
//
// The function plug-ins come in through the service configurator, which reads a service configuration
// file (by default exl.conf beside the program) and loads the function plug-in manager and the
// plug-ins with real dynamic loading.

#include "EXL_Exceptions.h"
#include "EXL_Parser.h"
#include "ExlRunner.h"
#include "FunctionPluginManager.h"

#include <ace/Service_Config.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char usageText[] = R"(Usage: exl [-c SVC.CONF] [--keep-going] (-e EXPRESSION | -f FILE)
       exl --help

Evaluates EXPRESSION once for every line of standard input and prints each value on its own line.
The line (without its line feed) is the string variable "line", its number (from 1) the long
variable "lineno".

Options:
  -c SVC.CONF     service configuration file that loads the function plug-in manager and the
                  plug-ins (default: exl.conf beside this program)
  -e EXPRESSION   the expression
  -f FILE         read the expression from FILE
  --keep-going    report an error on a line and go on with the next one (the exit status is 1)
  --help          show this text

The language:
  literals        "text" (escapes \n \t \r \" \\; any other backslash stays as it is),
                  42 (long), 4.2 or 1e3 (double), true, false
  variables       line, lineno
  operators       from low to high:  ||   &&   == != < <= > >=   + -   * / %   ! and unary -
                  + joins strings (a number or bool beside a string joins as its text);
                  && and || evaluate their right side only when it decides
  grouping        ( expression )
  calls           name(argument, ...)
  nesting         at most 1000 levels of operators, calls and parentheses (a chain
                  "1 + 1 + ..." counts one level per operator)

Functions (from the Quaystone plug-in):
  match(text, pattern)  true when the regular expression pattern (sed syntax) occurs in text
  sed(text, script)     the text edited by the sed script (several commands separated by ";" or
                        by a line feed "\n"); the engine's hold space and line count carry from one
                        line to the next, and the q command ends the input

Examples:
  exl -e 'sed(line, "s/foo/bar/g")' < access.log
  exl -e 'match(line, "^GET ") && lineno > 1' < access.log

Limits: an expression of at most 1048576 bytes (also from FILE); input lines of at most 4000
characters, the longest text the sed engine takes (a longer line is an error on that line).

Errors name the line; the exit status is 0 when every line succeeded, 1 after an error, 2 when the
expression or the service configuration cannot be used.
)";

std::string programDirectory(const char *argv0)
{
    std::vector<char> path(4096);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    std::string self = length > 0 ? std::string(path.data(), static_cast<std::size_t>(length)) : argv0;
    const std::size_t slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

int usageError(const std::string &message)
{
    std::cerr << "exl: " << message << "\nTry 'exl --help'.\n";
    return 2;
}

static_assert(exl::Runner::maxExpression == 1048576 && exl::Runner::maxLine == 4000,
              "the limits in the help text");

} // namespace

int main(int argc, char *argv[])
{
    std::string configFile;
    std::string expression;
    bool haveExpression = false;
    bool keepGoing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << usageText;
            return 0;
        } else if (arg == "--keep-going" || arg == "-k") {
            keepGoing = true;
        } else if ((arg == "-c" || arg == "-e" || arg == "-f") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "-c") {
                configFile = value;
                continue;
            }
            if (haveExpression)
                return usageError("give one expression, with -e or -f");
            haveExpression = true;
            if (arg == "-e") {
                expression = value;
            } else {
                std::ifstream in(value, std::ios::binary);
                if (!in)
                    return usageError("cannot read " + value + ": " + std::strerror(errno));
                // One byte past the bound tells a file that is too long.
                expression.resize(exl::Runner::maxExpression + 1);
                in.read(expression.data(), static_cast<std::streamsize>(expression.size()));
                if (in.bad())
                    return usageError("cannot read " + value + ": " + std::strerror(errno));
                expression.resize(static_cast<std::size_t>(in.gcount()));
            }
            if (expression.size() > exl::Runner::maxExpression)
                return usageError((arg == "-e" ? std::string("the expression") : value) + " is longer than "
                                  + std::to_string(exl::Runner::maxExpression) + " bytes");
        } else {
            return usageError("unknown or incomplete argument " + arg);
        }
    }
    if (!haveExpression)
        return usageError("no expression (use -e or -f)");

    const std::string directory = programDirectory(argv[0]);
    if (configFile.empty())
        configFile = directory + "/exl.conf";

    exl::Runner runner(stdout, std::cerr);
    if (!runner.start(configFile))
        return 2;
    if (!runner.compile(expression))
        return 2;
    return runner.run(stdin, keepGoing);
}
