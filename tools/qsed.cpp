// qsed: runs a sed script of the in-memory engine over standard input, one line per run.
#include "SedObj.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

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
    "n, q, w /dev/stdout) comes first, in order; w /dev/stderr writes to standard error after\n"
    "everything written before it.  q ends the run with exit status 0 after its own output.\n"
    "\n"
    "  -e SCRIPT   script text; several -e are joined by newlines\n"
    "  -f FILE     read the script from FILE\n"
    "  --help      show this text\n"
    "\n"
    "Limits: a script of at most 3999 characters, lines of at most 4000 characters.  A longer\n"
    "line is refused with a message on standard error.  A compile or run error prints the\n"
    "engine's message on standard error; the exit status is then 1 (2 for wrong usage).\n"
    "Warnings of the engine (for example a cut text) go to standard error and the run goes on.\n";

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

    char m_buffer[1 << 16];
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

// Standard input read in large blocks and split into lines with memchr.
class LineReader {
public:
    enum Result { Line, End, TooLong };

    // The next line without its newline; last is set when no input follows it.  The line stays
    // valid until the next call.
    Result next(const char *&line, std::size_t &length, bool &last)
    {
        std::size_t scanned = m_begin;
        for (;;) {
            const char *newline =
                static_cast<const char *>(std::memchr(m_buffer + scanned, '\n', m_end - scanned));
            if (newline) {
                length = static_cast<std::size_t>(newline - (m_buffer + m_begin));
                if (length > static_cast<std::size_t>(SedObj::maxText))
                    return TooLong;
                // Whether more input follows may need one more read; it keeps the line.
                if (newline + 1 == m_buffer + m_end && !m_eof)
                    fill();
                line = m_buffer + m_begin;
                m_begin += length + 1;
                last = m_begin == m_end && m_eof;
                return Line;
            }
            if (m_end - m_begin > static_cast<std::size_t>(SedObj::maxText))
                return TooLong;
            if (m_eof) {
                if (m_begin == m_end)
                    return End;
                line = m_buffer + m_begin;
                length = m_end - m_begin;
                m_begin = m_end;
                last = true;
                return Line;
            }
            scanned = m_end - m_begin;
            fill();
            scanned += m_begin;
        }
    }

private:
    // Moves the unread rest to the front when the buffer is full, then reads what fits.
    void fill()
    {
        if (m_end == sizeof m_buffer) {
            std::memmove(m_buffer, m_buffer + m_begin, m_end - m_begin);
            m_end -= m_begin;
            m_begin = 0;
        }
        for (;;) {
            const ssize_t n = ::read(0, m_buffer + m_end, sizeof m_buffer - m_end);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                m_eof = true;
            else
                m_end += static_cast<std::size_t>(n);
            return;
        }
    }

    char m_buffer[1 << 18];
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    bool m_eof = false;
};

LineReader input;

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

    auto engine = std::make_unique<SedObj>();
    engine->set_output(Output::sink, &output);
    engine->set_error_output(writeError, nullptr);
    try {
        engine->recompile(script.c_str());
        long number = 0;
        const char *line;
        std::size_t length;
        bool last;
        for (;;) {
            const LineReader::Result got = input.next(line, length, last);
            if (got == LineReader::End)
                break;
            ++number;
            if (got == LineReader::TooLong) {
                output.flush();
                std::fprintf(stderr, "qsed: line %ld is longer than %d characters\n", number,
                             SedObj::maxText);
                return 1;
            }
            const char *result = engine->execute_commands(line, length, last);
            output.append(result, engine->text_length());
            output.put('\n');
            if (engine->get_error_string()[0])
                printMessage(engine->get_error_string());
        }
    } catch (const SedObjException &e) {
        if (e.code() == 0) {
            output.flush();
            return output.failed() ? 1 : 0;
        }
        printMessage(engine->get_error_string());
        return 1;
    }
    output.flush();
    if (output.failed()) {
        std::fputs("qsed: cannot write standard output\n", stderr);
        return 1;
    }
    return 0;
}
