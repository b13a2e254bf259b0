// qsed: runs a sed script of the in-memory engine over standard input, one line per run.
#include "SedObj.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

const char usage[] =
    "Usage: qsed -e SCRIPT [-e SCRIPT ...] | -f FILE\n"
    "\n"
    "Runs a sed script over standard input.  Each input line, without its newline (a last line\n"
    "without a newline counts too), is one text run through the same engine, in order: the hold\n"
    "space and open ranges carry over from one line to the next, and line numbers count the\n"
    "lines.  \"$\" is the last line of the input.  n and N see the end of input (the engine never\n"
    "reads standard input itself).\n"
    "\n"
    "After each run the resulting text is written to standard output followed by one newline\n"
    "(an empty result gives an empty line).  Output of the script itself (p, the p flag of s,\n"
    "n, q, w to standard output) comes first, in order.  q ends the run with exit status 0\n"
    "after its own output.\n"
    "\n"
    "  -e SCRIPT   script text; several -e are joined by newlines\n"
    "  -f FILE     read the script from FILE\n"
    "  --help      show this text\n"
    "\n"
    "Limits: a script of at most 3999 characters, lines of at most 4000 characters.  A longer\n"
    "line is refused with a message on standard error.  A compile or run error prints the\n"
    "engine's message on standard error; the exit status is then 1 (2 for wrong usage).\n"
    "Warnings of the engine (for example a cut text) go to standard error and the run goes on.\n";

void printMessage(const char *message)
{
    std::fputs(message, stderr);
    const std::size_t length = std::strlen(message);
    if (length == 0 || message[length - 1] != '\n')
        std::fputc('\n', stderr);
}

bool readFile(const char *name, std::string &out)
{
    FILE *f = std::fopen(name, "rb");
    if (!f)
        return false;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    std::fclose(f);
    return true;
}

// Reads one line without its newline; false at the end of input.
bool readLine(std::string &line)
{
    line.clear();
    int c;
    bool any = false;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n')
            return true;
        line.push_back(static_cast<char>(c));
    }
    return any;
}

} // namespace

int main(int argc, char **argv)
{
    std::string script;
    bool haveScript = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if ((arg == "-e" || arg == "-f") && i + 1 < argc) {
            std::string part;
            if (arg == "-e") {
                part = argv[++i];
            } else if (!readFile(argv[++i], part)) {
                std::fprintf(stderr, "qsed: cannot read %s\n", argv[i]);
                return 2;
            }
            if (haveScript)
                script += '\n';
            script += part;
            haveScript = true;
            continue;
        }
        std::fprintf(stderr, "qsed: unexpected argument %s\n%s", argv[i], usage);
        return 2;
    }
    if (!haveScript) {
        std::fputs(usage, stderr);
        return 2;
    }

    // The engine writes the script's own output to standard output unless told otherwise.
    auto engine = std::make_unique<SedObj>();
    try {
        engine->recompile(script.c_str());
        std::string line;
        std::string next;
        bool have = readLine(line);
        long number = 0;
        while (have) {
            ++number;
            const bool more = readLine(next);
            if (line.size() > static_cast<std::size_t>(SedObj::maxText)) {
                std::fflush(stdout);
                std::fprintf(stderr, "qsed: line %ld is longer than %d characters\n", number,
                             SedObj::maxText);
                return 1;
            }
            const char *result = engine->execute_commands(line.data(), line.size(), !more);
            std::fwrite(result, 1, engine->text_length(), stdout);
            std::fputc('\n', stdout);
            if (engine->get_error_string()[0]) {
                std::fflush(stdout);
                printMessage(engine->get_error_string());
            }
            line.swap(next);
            have = more;
        }
    } catch (const SedObjException &e) {
        std::fflush(stdout);
        if (e.code() == 0)
            return 0;
        printMessage(engine->get_error_string());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}
