// qsed: runs a sed script of the in-memory engine over the lines of its input files, one line per run.
#include "SedObj.h"

#include <cerrno>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char usage[] =
    "Usage: qsed [-e SCRIPT | -f SCRIPT-FILE]... [--] [FILE...]\n"
    "\n"
    "Runs a sed script over the lines of the FILEs, read in order (standard input when no FILE is\n"
    "given; \"-\" is standard input).  Each input line, without its newline (a last line without\n"
    "a newline counts too, also at the end of a FILE that is not the last one),\n"
    "is one text run through the same engine, in order: the hold space and open ranges carry\n"
    "over from one line to the next, and line numbers count the lines of all FILEs together.\n"
    "\"$\" is the last line of the last FILE that holds one.  n and N see the end of input (the\n"
    "engine never reads the input itself).\n"
    "\n"
    "After each run the resulting text is written to standard output followed by one newline (an\n"
    "empty result gives an empty line); a line whose run ended by deleting it (d, D with no newline\n"
    "left, c inside a range) writes nothing.  Output of the script itself (p, the p flag of s, n,\n"
    "q, w /dev/stdout) comes first, in order; w /dev/stderr writes to standard error after\n"
    "everything written before it.  q ends the input after its own output.\n"
    "\n"
    "  -e SCRIPT        script text\n"
    "  -f SCRIPT-FILE   read script text from SCRIPT-FILE (\"-\": standard input); one newline at\n"
    "                   its end is not part of the script\n"
    "                   Several -e and -f are joined by newlines, in the order given.\n"
    "  --               every later argument is a FILE\n"
    "  -h, --help       show this text\n"
    "\n"
    "Limits: a script of at most 3999 characters (a longer script or script file is refused before\n"
    "anything is read), input lines of at most 4000 characters (a longer line stops the run with a\n"
    "message naming it).\n"
    "\n"
    "Messages go to standard error: a FILE that cannot be opened or read is named and skipped, and\n"
    "the others are still read; a compile or run error prints the engine's message and stops;\n"
    "warnings of the engine (for example a cut text) are printed and the run goes on.\n"
    "\n"
    "Exit status: 0 on success, also after q; 1 after a compile or run error, a refused script or\n"
    "line, or a failed write; 2 for wrong usage, an unreadable SCRIPT-FILE, or when some FILE could\n"
    "not be read.\n";

static_assert(SedObj::maxScript == 3999 && SedObj::maxText == 4000, "the limits in the help text");

// Standard output through one buffer: the results, and everything the engine writes to its
// standard output (p, n, q, w /dev/stdout), in the order they were made.
class Output {
public:
    void append(const char *data, std::size_t length)
    {
        if (m_used + length > sizeof m_buffer) {
            flush();
            if (length > sizeof m_buffer) {
                writeAll(data, length);
                return;
            }
        }
        std::memcpy(m_buffer + m_used, data, length);
        m_used += length;
    }
    // data and then a newline.
    void appendLine(const char *data, std::size_t length)
    {
        if (m_used + length + 1 > sizeof m_buffer) {
            append(data, length);
            put('\n');
            return;
        }
        std::memcpy(m_buffer + m_used, data, length);
        m_buffer[m_used + length] = '\n';
        m_used += length + 1;
    }
    void put(char c)
    {
        if (m_used == sizeof m_buffer)
            flush();
        m_buffer[m_used++] = c;
    }
    void flush()
    {
        writeAll(m_buffer, m_used);
        m_used = 0;
    }
    bool failed() const { return m_failed; }

    static void sink(void *self, const char *data, std::size_t length)
    {
        static_cast<Output *>(self)->append(data, length);
    }

private:
    void writeAll(const char *data, std::size_t length)
    {
        while (length > 0 && !m_failed) {
            const ssize_t n = ::write(1, data, length);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_failed = true;
                return;
            }
            data += n;
            length -= static_cast<std::size_t>(n);
        }
    }

    // Large enough that writing the output to a file costs few calls and little kernel time.
    char m_buffer[1 << 18];
    std::size_t m_used = 0;
    bool m_failed = false;
};

Output output;

// Messages go to standard error after everything written to standard output before them.
void printMessage(const char *message)
{
    output.flush();
    std::fputs(message, stderr);
    const std::size_t length = std::strlen(message);
    if (length == 0 || message[length - 1] != '\n')
        std::fputc('\n', stderr);
}

void writeError(void *, const char *data, std::size_t length)
{
    output.flush();
    std::fwrite(data, 1, length, stderr);
}

// Reads a script file of at most SedObj::maxScript characters; one final newline ends the last
// line and is not counted (unless a backslash before it makes it part of the script).
enum class ScriptFile { Read, Unreadable, TooLong, HasNul };

ScriptFile readScriptFile(const char *name, std::string &out, int &error)
{
    const int fd = std::strcmp(name, "-") == 0 ? 0 : ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return ScriptFile::Unreadable;
    }
    // Two bytes past the limit tell a script that is too long from one with a final newline.
    const std::size_t room = static_cast<std::size_t>(SedObj::maxScript) + 2;
    std::string text(room, '\0');
    std::size_t used = 0;
    ScriptFile result = ScriptFile::Read;
    while (used < room) {
        const ssize_t n = ::read(fd, text.data() + used, room - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            result = ScriptFile::Unreadable;
            break;
        }
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    if (fd != 0)
        ::close(fd);
    if (result != ScriptFile::Read)
        return result;
    text.resize(used);
    if (used > 0 && text[used - 1] == '\n' && (used < 2 || text[used - 2] != '\\'))
        text.pop_back();
    if (text.size() > static_cast<std::size_t>(SedObj::maxScript))
        return ScriptFile::TooLong;
    if (text.find('\0') != std::string::npos)
        return ScriptFile::HasNul;
    out += text;
    return ScriptFile::Read;
}

// The input files in order ("-" is standard input), read in large blocks and split into lines with
// memchr.  Line numbers run across the files, and a line is the last one only when no later file
// holds another.  A file that cannot be opened or read is reported and skipped.
class LineReader {
public:
    enum Result { Line, End, TooLong };

    explicit LineReader(std::vector<const char *> names) : m_names(std::move(names)) {}

    // The next line without its newline; last is set when no input follows it.  The line stays
    // valid until the next call.
    Result next(const char *&line, std::size_t &length, bool &last)
    {
        std::size_t scanned = 0; // bytes after m_begin known to hold no newline
        for (;;) {
            const char *newline = static_cast<const char *>(
                std::memchr(m_buffer + m_begin + scanned, '\n', m_end - m_begin - scanned));
            if (newline || m_fileEnded) {
                length = newline ? static_cast<std::size_t>(newline - (m_buffer + m_begin)) : m_end - m_begin;
                if (!newline && length == 0) {
                    if (!openNext())
                        return End;
                    continue;
                }
                ++m_fileLine;
                if (length > static_cast<std::size_t>(SedObj::maxText))
                    return TooLong;
                const std::size_t taken = length + (newline ? 1 : 0);
                // Looking for more input may move the buffer; the line is found again after it.
                last = !moreAfter(taken);
                line = m_buffer + m_begin;
                m_begin += taken;
                return Line;
            }
            scanned = m_end - m_begin;
            if (scanned > static_cast<std::size_t>(SedObj::maxText)) {
                length = scanned;
                ++m_fileLine;
                return TooLong;
            }
            fill();
        }
    }

    // Some input file could not be opened or read.
    bool failed() const { return m_failed; }
    // The file of the last line and that line's number within it.
    const char *fileName() const { return m_name; }
    long fileLine() const { return m_fileLine; }
    bool fromStandardInput() const { return m_fd == 0; }

private:
    // Whether any byte of input follows the first `taken` unread bytes, reading or opening further
    // files as needed.
    bool moreAfter(std::size_t taken)
    {
        for (;;) {
            if (m_end - m_begin > taken)
                return true;
            if (m_fileEnded) {
                if (!openNext())
                    return false;
            } else {
                fill();
            }
        }
    }

    // Closes the current file and opens the next one that can be opened; false when none is left.
    bool openNext()
    {
        for (;;) {
            if (m_fd > 0)
                ::close(m_fd);
            m_fd = -1;
            if (m_next == m_names.size())
                return false;
            m_name = m_names[m_next++];
            m_fileLine = 0;
            m_fileEnded = false;
            if (std::strcmp(m_name, "-") == 0) {
                m_fd = 0;
                return true;
            }
            m_fd = ::open(m_name, O_RDONLY | O_CLOEXEC);
            if (m_fd >= 0)
                return true;
            report(errno);
        }
    }

    // Reads more of the current file after the unread rest, moving that rest to the front first
    // when the buffer is full.  The end of the file, or a read error, ends the file.
    void fill()
    {
        if (m_fd < 0) {
            m_fileEnded = true;
            return;
        }
        if (m_end == sizeof m_buffer) {
            std::memmove(m_buffer, m_buffer + m_begin, m_end - m_begin);
            m_end -= m_begin;
            m_begin = 0;
        }
        for (;;) {
            const ssize_t n = ::read(m_fd, m_buffer + m_end, sizeof m_buffer - m_end);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                report(errno);
            if (n <= 0)
                m_fileEnded = true;
            else
                m_end += static_cast<std::size_t>(n);
            return;
        }
    }

    void report(int error)
    {
        output.flush();
        std::fprintf(stderr, "qsed: cannot read %s: %s\n", m_name, std::strerror(error));
        m_failed = true;
    }

    std::vector<const char *> m_names;
    std::size_t m_next = 0;
    const char *m_name = "-";
    int m_fd = -1;
    long m_fileLine = 0;
    bool m_fileEnded = true; // no file is open yet
    bool m_failed = false;
    char m_buffer[1 << 18];
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

} // namespace

int main(int argc, char **argv)
{
    std::string script;
    bool haveScript = false;
    std::vector<const char *> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!options || arg[0] != '-' || arg[1] == '\0') {
            files.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            options = false;
            continue;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        const bool expression = std::strcmp(arg, "-e") == 0;
        if ((expression || std::strcmp(arg, "-f") == 0) && i + 1 < argc) {
            const char *value = argv[++i];
            if (haveScript)
                script += '\n';
            haveScript = true;
            if (expression) {
                script += value;
            } else {
                int error = 0;
                switch (readScriptFile(value, script, error)) {
                case ScriptFile::Read:
                    break;
                case ScriptFile::Unreadable:
                    std::fprintf(stderr, "qsed: cannot read %s: %s\n", value, std::strerror(error));
                    return 2;
                case ScriptFile::TooLong:
                    std::fprintf(stderr, "qsed: script file %s is longer than %d characters\n", value,
                                 SedObj::maxScript);
                    return 1;
                case ScriptFile::HasNul:
                    std::fprintf(stderr, "qsed: script file %s holds a NUL character\n", value);
                    return 1;
                }
            }
            if (script.size() > static_cast<std::size_t>(SedObj::maxScript)) {
                std::fprintf(stderr, "qsed: the script is longer than %d characters\n", SedObj::maxScript);
                return 1;
            }
            continue;
        }
        if (expression || std::strcmp(arg, "-f") == 0)
            std::fprintf(stderr, "qsed: option %s needs an argument\n%s", arg, usage);
        else
            std::fprintf(stderr, "qsed: unexpected argument %s\n%s", arg, usage);
        return 2;
    }
    if (!haveScript) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (files.empty())
        files.push_back("-");

    auto engine = std::make_unique<SedObj>();
    engine->set_output(Output::sink, &output);
    engine->set_error_output(writeError, nullptr);
    auto input = std::make_unique<LineReader>(std::move(files));
    try {
        engine->recompile(script.c_str());
        long number = 0;
        const char *line;
        std::size_t length;
        bool last;
        for (;;) {
            const LineReader::Result got = input->next(line, length, last);
            if (got == LineReader::End)
                break;
            ++number;
            if (got == LineReader::TooLong) {
                output.flush();
                if (input->fromStandardInput())
                    std::fprintf(stderr, "qsed: line %ld is longer than %d characters\n", number,
                                 SedObj::maxText);
                else
                    std::fprintf(stderr, "qsed: %s: line %ld is longer than %d characters\n",
                                 input->fileName(), input->fileLine(), SedObj::maxText);
                return 1;
            }
            const char *result = engine->execute_commands(line, length, last);
            if (!engine->ended_by_delete())
                output.appendLine(result, engine->text_length());
            if (engine->get_error_string()[0])
                printMessage(engine->get_error_string());
        }
    } catch (const SedObjException &e) {
        if (e.code() != 0) {
            printMessage(engine->get_error_string());
            return 1;
        }
    }
    output.flush();
    if (output.failed()) {
        std::fputs("qsed: cannot write standard output\n", stderr);
        return 1;
    }
    return input->failed() ? 2 : 0;
}
