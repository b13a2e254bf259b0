// The executor of SedObj: one run of the compiled program over the pattern space, substitution
// and the commands (the RE matcher is in SedObjMatch.cpp).
#include "SedObj.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <utility>
#include <fcntl.h>
#include <unistd.h>

char *SedObj::execute_commands(const char *text)
{
    if (!text)
        return nullptr;
    return execute_commands(text, std::strlen(text), true);
}

char *SedObj::execute_commands(const char *text, std::size_t length, bool lastLine)
{
    m_delete = 0;
    m_jump = 0;
    m_deleted = false;
    m_prog.status = 0;
    m_prog.errorString[0] = 0;
    if (!text)
        return nullptr;
    load(text, length);
    m_lastLineFlag = lastLine;
    execute();
    return m_prog.patternSpace;
}

char *SedObj::main_entry(const char *script, const char *text)
{
    if (script)
        recompile(script);
    if (m_scriptBuffer[0] == 0 || !text)
        return nullptr;
    m_delete = 0;
    m_jump = 0;
    m_deleted = false;
    load(text, std::strlen(text));
    m_lastLineFlag = true;
    execute();
    return m_prog.patternSpace;
}

void SedObj::load(const char *text, std::size_t length)
{
    if (length > static_cast<std::size_t>(maxText)) {
        m_end = 0;
        m_prog.patternSpace[0] = 0;
        std::strcpy(m_prog.errorString, "sed: text too long\n");
        quit(2);
    }
    std::memcpy(m_prog.patternSpace, text, length);
    m_prog.patternSpace[length] = 0;
    m_end = static_cast<int>(length);
    ++m_lineCounter;
}

void SedObj::execute()
{
    Program &p = m_prog;
    m_substituted = false;
    m_queueCount = 0;
    // A run is stopped once its work passes the budget (see the header), or at once when a loop
    // comes back to a state it was in: a server evaluating the script per record must never hang
    // on it, whether the script loops or just holds many costly commands.
    m_runUnits = 0;
    m_steps = 0;
    m_loopMark = 1;
    m_loopPc = -1;
    const long budget = runBudget();
    long jumps = 0;
    int pc = 0;
    while (p.commands[pc].code != cmdNone) {
        cmd_t &cmd = p.commands[pc];
        if (selected(cmd)) {
            command(cmd);
            m_runUnits += commandUnits + m_end / charactersPerUnit;
        }
        if (m_runUnits + m_steps > budget)
            runsTooLong();
        if (m_delete)
            break;
        if (m_jump) {
            m_jump = 0;
            pc = cmd.argument;
            if (pc < 0)
                break;
            if (loopsForEver(pc, ++jumps))
                runsTooLong();
        } else {
            ++pc;
        }
    }
    m_deleted = m_delete && !m_keep;
    if (m_deleted) {
        m_end = 0;
        p.patternSpace[0] = 0;
    }
    m_keep = false;
    if (m_queueCount)
        readout();
    m_delete = 0;
}

bool SedObj::loopsForEver(int pc, long jumps)
{
    // Nothing else steers a run: the engine reads no input, so a run that comes back to the same
    // command with the same texts and flags goes round the same way for ever.  The state is kept at
    // jumps 1, 2, 4, 8, ... and compared at every jump in between, which finds any cycle within
    // about twice its length plus the jumps before it.
    const char *ps = m_prog.patternSpace;
    if (jumps == m_loopMark) {
        m_loopMark *= 2;
        m_loopPc = pc;
        m_loopEnd = m_end;
        m_loopHoldEnd = m_holdEnd;
        m_loopQueue = m_queueCount;
        m_loopRanges = m_rangeChanges;
        m_loopSubstituted = m_substituted;
        std::memcpy(m_loopText, ps, static_cast<std::size_t>(m_end));
        std::memcpy(m_loopText + maxText + 1, m_holdSpace, static_cast<std::size_t>(m_holdEnd));
        return false;
    }
    return pc == m_loopPc && m_end == m_loopEnd && m_holdEnd == m_loopHoldEnd && m_queueCount == m_loopQueue
           && m_rangeChanges == m_loopRanges && m_substituted == m_loopSubstituted
           && std::memcmp(m_loopText, ps, static_cast<std::size_t>(m_end)) == 0
           && std::memcmp(m_loopText + maxText + 1, m_holdSpace, static_cast<std::size_t>(m_holdEnd)) == 0;
}

void SedObj::runsTooLong()
{
    std::strcpy(m_prog.errorString, "sed: script runs too long\n");
    quit(2);
}

bool SedObj::matchAddress(int address)
{
    const unsigned char *a = m_prog.textPool + address;
    if (a[0] == opLastLine)
        return m_lastLineFlag;
    if (a[0] == opLineNumber)
        return m_prog.lineNumberTable[a[1]] == m_lineCounter;
    return match(address, false);
}

bool SedObj::selected(cmd_t &cmd)
{
    bool chosen;
    if (cmd.firstAddress < 0) {
        chosen = true;
    } else if (cmd.inRange) {
        const unsigned char *second = m_prog.textPool + cmd.secondAddress;
        chosen = true;
        if (second[0] == opLastLine) {
            if (m_lastLineFlag)
                cmd.inRange = 0;
        } else if (second[0] == opLineNumber) {
            const long n = m_prog.lineNumberTable[second[1]];
            if (n <= m_lineCounter) {
                cmd.inRange = 0;
                chosen = !(n < m_lineCounter);
            }
        } else if (match(cmd.secondAddress, false)) {
            cmd.inRange = 0;
        }
        if (!cmd.inRange)
            ++m_rangeChanges;
    } else {
        chosen = matchAddress(cmd.firstAddress);
        if (chosen && cmd.secondAddress >= 0) {
            cmd.inRange = 1;
            ++m_rangeChanges;
        }
    }
    return cmd.negated ? !chosen : chosen;
}

// ---- substitution ----

bool SedObj::substitute(const cmd_t &cmd)
{
    // The result is built in substitutionBuffer while the matches are searched in the unchanged
    // text, and copied back once: the text after each match is the same either way, and a
    // global substitution costs one pass instead of one copy of the text per match.
    if (!match(cmd.argument, false))
        return false;
    m_built = 0;
    m_copied = 0;
    bool replaced = false;
    for (;;) {
        if (!dosub(cmd.replacement))
            break;
        replaced = true;
        if (cmd.global == 0 || !match(cmd.argument, true))
            break;
    }
    if (!replaced)
        return false;
    const int tail = m_end - m_copied;
    std::memcpy(m_substitutionBuffer + m_built, m_prog.patternSpace + m_copied,
                static_cast<std::size_t>(tail));
    m_end = m_built + tail;
    std::memcpy(m_prog.patternSpace, m_substitutionBuffer, static_cast<std::size_t>(m_end));
    m_prog.patternSpace[m_end] = 0;
    return true;
}

bool SedObj::dosub(int replacement)
{
    // Appends the text since the last match and the replacement of this one to the result; the
    // whole result, the rest of the text included, must stay within the pattern space.
    const char *text = m_prog.patternSpace;
    const unsigned char *rp = m_prog.textPool + replacement;
    char *out = m_substitutionBuffer;
    const int limit = maxText - (m_end - m_matchEnd);
    int n = m_built;
    auto append = [&](const char *data, int length) {
        if (n + length > limit)
            return false;
        if (length == 1)
            out[n] = *data; // most replacement items are one character
        else
            std::memcpy(out + n, data, static_cast<std::size_t>(length));
        n += length;
        return true;
    };
    bool fits = append(text + m_copied, m_matchStart - m_copied);
    for (; *rp && fits; ++rp) {
        const char c = static_cast<char>(*rp);
        if (c == '&') {
            fits = append(text + m_matchStart, m_matchEnd - m_matchStart);
        } else if (*rp == replacementEscape) {
            const char d = static_cast<char>(*++rp);
            if (d >= '1' && d <= '9') {
                const int g = d - '1';
                fits = append(text + m_groupStart[g], m_groupEnd[g] - m_groupStart[g]);
            } else {
                fits = append(&d, 1);
            }
        } else {
            fits = append(&c, 1);
        }
    }
    // Building the result takes time per replacement item and per character copied, also when
    // it does not fit: it counts as work of the substitution's searches.
    m_steps += 2 + 2 * (rp - (m_prog.textPool + replacement))
               + static_cast<unsigned>(n - m_built) / static_cast<unsigned>(charactersPerUnit);
    if (!fits) {
        // This edit is not made: the text stays as it was before this replacement.
        std::strcpy(m_prog.errorString, "sed: line too long\n");
        return false;
    }
    m_built = n;
    m_copied = m_matchEnd;
    return true;
}

// ---- commands ----

int SedObj::copyText(char *destination, const char *source, int length)
{
    std::memcpy(destination, source, static_cast<std::size_t>(length));
    destination[length] = 0;
    return length;
}

void SedObj::appendTo(char *space, int &end, const char *data, int length)
{
    const int room = maxText - end;
    const int taken = length < room ? length : room;
    std::memcpy(space + end, data, static_cast<std::size_t>(taken));
    end += taken;
    space[end] = 0;
    if (taken < length)
        truncated();
}

void SedObj::setText(const char *text)
{
    // The pattern space becomes text and a newline (i, c and a).
    m_end = 0;
    appendTo(m_prog.patternSpace, m_end, text, static_cast<int>(std::strlen(text)));
    appendTo(m_prog.patternSpace, m_end, "\n", 1);
}

void SedObj::writeLine(int file, const char *data, int length)
{
    emit(file, data, static_cast<std::size_t>(length));
    emit(file, "\n", 1);
}

void SedObj::queue(const cmd_t &cmd, const char *message)
{
    if (m_queueCount >= queueSize) {
        setError(message, m_lineCounter);
        return;
    }
    m_appendQueue[m_queueCount++] = static_cast<int>(&cmd - m_prog.commands);
}

void SedObj::command(cmd_t &cmd)
{
    Program &p = m_prog;
    char *ps = p.patternSpace;
    switch (cmd.code) {
    case cmdAppend:
        queue(cmd, "sed: too many appends after line %ld\n");
        break;
    case cmdBranch:
        m_jump = 1;
        break;
    case cmdChange:
        // Inside an open range the lines are deleted; the last line of the range (or a single
        // line) becomes the text.
        m_delete = 1;
        if (cmd.secondAddress < 0 || !cmd.inRange) {
            setText(reinterpret_cast<const char *>(p.textPool + cmd.argument));
            m_keep = true;
        }
        break;
    case cmdDelete:
        m_delete = 1;
        break;
    case cmdDeleteFirst: {
        const char *newline =
            static_cast<const char *>(std::memchr(ps, '\n', static_cast<std::size_t>(m_end)));
        if (newline) {
            const int cut = static_cast<int>(newline - ps) + 1;
            std::memmove(ps, ps + cut, static_cast<std::size_t>(m_end - cut + 1));
            m_end -= cut;
            m_jump = 1;
        } else {
            m_delete = 1;
        }
        break;
    }
    case cmdGet:
        m_end = copyText(ps, m_holdSpace, m_holdEnd);
        break;
    case cmdGetAppend:
        appendTo(m_prog.patternSpace, m_end, "\n", 1);
        appendTo(m_prog.patternSpace, m_end, m_holdSpace, m_holdEnd);
        break;
    case cmdHold:
        m_holdEnd = copyText(m_holdSpace, ps, m_end);
        break;
    case cmdHoldAppend:
        appendTo(m_holdSpace, m_holdEnd, "\n", 1);
        appendTo(m_holdSpace, m_holdEnd, ps, m_end);
        break;
    case cmdInsert:
        setText(reinterpret_cast<const char *>(p.textPool + cmd.argument));
        break;
    case cmdNext:
        writeLine(0, ps, m_end);
        if (m_queueCount)
            readout();
        if (getline(ps + 0, maxText) < 0)
            m_delete = 1;
        else
            m_substituted = false;
        break;
    case cmdNextAppend: {
        if (m_queueCount)
            readout();
        // Without a next line the text stays as it is: nothing is appended, so nothing is cut.
        if (m_lookahead < 0 && !openfile())
            break;
        appendTo(m_prog.patternSpace, m_end, "\n", 1);
        if (getline(ps + m_end, maxText - m_end) >= 0)
            m_substituted = false;
        break;
    }
    case cmdPrint:
        writeLine(0, ps, m_end);
        break;
    case cmdQuit:
        writeLine(0, ps, m_end);
        if (m_queueCount)
            readout();
        quit(0);
    case cmdRead:
        queue(cmd, "sed: too many reads after line %ld\n");
        break;
    case cmdSubstitute:
        if (!substitute(cmd))
            break;
        m_substituted = true;
        if (cmd.printMode == 1)
            writeLine(0, ps, m_end);
        else if (cmd.printMode == 2)
            break;
        if (cmd.outputFile)
            writeLine(cmd.outputFile - 1, ps, m_end);
        break;
    case cmdTest:
        if (m_substituted) {
            m_substituted = false;
            m_jump = 1;
        }
        break;
    case cmdTestNot:
        if (!m_substituted)
            m_jump = 1;
        break;
    case cmdWrite:
        writeLine(cmd.outputFile - 1, ps, m_end);
        break;
    case cmdWriteFirst: {
        const char *newline =
            static_cast<const char *>(std::memchr(ps, '\n', static_cast<std::size_t>(m_end)));
        writeLine(cmd.outputFile - 1, ps, newline ? static_cast<int>(newline - ps) : m_end);
        break;
    }
    case cmdExchange:
        std::memcpy(m_substitutionBuffer, ps, static_cast<std::size_t>(m_end));
        std::memcpy(ps, m_holdSpace, static_cast<std::size_t>(m_holdEnd));
        std::memcpy(m_holdSpace, m_substitutionBuffer, static_cast<std::size_t>(m_end));
        std::swap(m_end, m_holdEnd);
        ps[m_end] = 0;
        m_holdSpace[m_holdEnd] = 0;
        break;
    case cmdTransliterate:
        transliterate(p.textPool + cmd.argument);
        break;
    default: // =, l and P change nothing here
        break;
    }
}

#ifdef __SSE2__
namespace {

// y over a text of at least 16 bytes when it changes at most Count characters (pairs: the
// character and its replacement; unused pairs are zero and change nothing).  Each block of
// sixteen is compared with every listed character, and the bytes equal to one are flipped to its
// replacement.  The last block may overlap the one before: it is computed from the text as it was.
template <int Count>
void transliterateBlocks(unsigned char *text, int end, const unsigned char *pairs)
{
    __m128i from[Count];
    __m128i flipBy[Count];
#pragma GCC unroll 8
    for (int k = 0; k < Count; ++k) {
        from[k] = _mm_set1_epi8(static_cast<char>(pairs[2 * k]));
        flipBy[k] = _mm_set1_epi8(static_cast<char>(pairs[2 * k] ^ pairs[2 * k + 1]));
    }
    auto change = [&](__m128i block) {
        __m128i flip = _mm_setzero_si128();
#pragma GCC unroll 8
        for (int k = 0; k < Count; ++k)
            flip = _mm_or_si128(flip, _mm_and_si128(_mm_cmpeq_epi8(block, from[k]), flipBy[k]));
        return _mm_xor_si128(block, flip);
    };
    __m128i *const lastAt = reinterpret_cast<__m128i *>(text + end - 16);
    const __m128i last = _mm_loadu_si128(lastAt);
    for (int i = 0; i + 16 <= end; i += 16) {
        __m128i *const at = reinterpret_cast<__m128i *>(text + i);
        _mm_storeu_si128(at, change(_mm_loadu_si128(at)));
    }
    _mm_storeu_si128(lastAt, change(last));
}

} // namespace
#endif

void SedObj::transliterate(const unsigned char *table)
{
    unsigned char *text = reinterpret_cast<unsigned char *>(m_prog.patternSpace);
    const int end = m_end;
#ifdef __SSE2__
    if (table[yListMark] == 0 && end >= 16) {
        const int count = table[yListCount];
        unsigned char pairs[2 * yListMax] = {};
        std::memcpy(pairs, table + yListAt, static_cast<std::size_t>(2 * count));
        if (count <= 2)
            transliterateBlocks<2>(text, end, pairs);
        else if (count <= 4)
            transliterateBlocks<4>(text, end, pairs);
        else
            transliterateBlocks<yListMax>(text, end, pairs);
        return;
    }
#endif
    if (table[yListMark] == 0) {
        for (int i = 0; i < end; ++i)
            if (text[i] < 128)
                text[i] = table[text[i]];
        return;
    }
    for (int i = 0; i < end; ++i)
        text[i] = table[text[i]];
}

void SedObj::readout()
{
    for (int i = 0; i < m_queueCount; ++i) {
        const cmd_t &cmd = m_prog.commands[m_appendQueue[i]];
        const char *text = reinterpret_cast<const char *>(m_prog.textPool + cmd.argument);
        if (cmd.code == cmdAppend) {
            setText(text);
        } else {
            const int fd = ::open(text, O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                setError("sed: can't open %s\n", shown(text));
            else
                ::close(fd);
        }
    }
    m_queueCount = 0;
}

void SedObj::truncated()
{
    if (m_lineCounter != 0)
        setError("sed: truncated to %d characters", maxText);
}

int SedObj::getline(char *destination, int capacity)
{
    if (m_lookahead < 0 && !openfile())
        return -1;
    ++m_lineCounter;
    int n = 0;
    bool cut = false;
    while (m_lookahead >= 0 && m_lookahead != '\n') {
        if (n < capacity)
            destination[n++] = static_cast<char>(m_lookahead);
        else
            cut = true;
        m_lookahead = get();
    }
    if (m_lookahead == '\n')
        m_lookahead = get();
    destination[n] = 0;
    if (m_lookahead < 0)
        m_lastLineFlag = true;
    if (cut)
        truncated();
    return n;
}

int SedObj::get()
{
    // The engine edits texts held in memory: it has no input stream of its own.
    return -1;
}

bool SedObj::openfile()
{
    // No further input files are ever listed, so the end of input stays the end.
    return false;
}
