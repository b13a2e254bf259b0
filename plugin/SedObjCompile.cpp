// The script compiler of SedObj: script lines, addresses, commands and their arguments, REs,
// replacements, y tables, labels and braces.  Everything goes into the fixed tables of the object.
#include "SedObj.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool isBlank(int c) { return c == ' ' || c == '\t'; }

// Adds the 7-bit character c to a 16-byte character set.
void addToSet(unsigned char *set, int c)
{
    set[c >> 3] = static_cast<unsigned char>(set[c >> 3] | (1u << (c & 7)));
}

// Command letters in the range '8'..'~' and their codes; 0: no such command.
int commandCode(int c)
{
    switch (c) {
    case '=':
        return SedObj::cmdEquals;
    case 'a':
        return SedObj::cmdAppend;
    case 'b':
        return SedObj::cmdBranch;
    case 'c':
        return SedObj::cmdChange;
    case 'd':
        return SedObj::cmdDelete;
    case 'D':
        return SedObj::cmdDeleteFirst;
    case 'g':
        return SedObj::cmdGet;
    case 'G':
        return SedObj::cmdGetAppend;
    case 'h':
        return SedObj::cmdHold;
    case 'H':
        return SedObj::cmdHoldAppend;
    case 'i':
        return SedObj::cmdInsert;
    case 'l':
        return SedObj::cmdList;
    case 'n':
        return SedObj::cmdNext;
    case 'N':
        return SedObj::cmdNextAppend;
    case 'p':
        return SedObj::cmdPrint;
    case 'P':
        return SedObj::cmdPrintFirst;
    case 'q':
        return SedObj::cmdQuit;
    case 'r':
        return SedObj::cmdRead;
    case 's':
        return SedObj::cmdSubstitute;
    case 't':
        return SedObj::cmdTest;
    case 'T':
        return SedObj::cmdTestNot;
    case 'w':
        return SedObj::cmdWrite;
    case 'W':
        return SedObj::cmdWriteFirst;
    case 'x':
        return SedObj::cmdExchange;
    case 'y':
        return SedObj::cmdTransliterate;
    case '{':
        return SedObj::cmdBranch;
    case ':':
    case '}':
        return SedObj::cmdNone;
    default:
        return -1;
    }
}

// Letters whose argument or restriction cmdcomp handles.
bool needsCmdcomp(int c) { return std::strchr(":=DTWabcilqrstwy{}", c) != nullptr; }

} // namespace

int SedObj::recompile(const char *script)
{
    if (!script)
        return -1;
    clear_current_context();
    compileScript(script);
    return 0;
}

void SedObj::compileScript(const char *script)
{
    Program &p = m_prog;
    m_compiling = true;
    m_commandStart = 0;
    const std::size_t length = std::strlen(script);
    if (length > static_cast<std::size_t>(maxScript))
        fail("sed: script too long\n");
    p.scriptState = 1;
    std::memcpy(m_scriptBuffer, script, length + 1);
    compile();
    p.scriptState = 0;
    if (p.braceDepth != 0)
        fail("sed: too many {'s\n");
    p.labelTable[0].definition = p.currentCommand;
    resolve();
    // The record after the last command ends the program.
    p.commands[p.currentCommand] = cmd_t{};
    m_commandsUsed = p.currentCommand + 1;
    m_poolUsed = p.poolPointer;
    m_compiling = false;
}

int SedObj::clear_current_context()
{
    // Clears what the last program used (the records and pool bytes it wrote), not the whole
    // tables: an engine with a short program keeps most of its storage untouched.
    Program &p = m_prog;
    const int commands = std::max({m_commandsUsed, p.currentCommand + 1, 1});
    std::memset(p.commands, 0,
                sizeof(cmd_t) * static_cast<std::size_t>(std::min(commands, commandCount + 1)));
    std::memset(p.textPool, 0,
                static_cast<std::size_t>(std::min(std::max(m_poolUsed, p.poolPointer), poolSize)));
    std::memset(p.lineNumberTable, 0, sizeof(int) * static_cast<std::size_t>(m_lineNumbersUsed));
    m_commandsUsed = 1;
    m_poolUsed = 0;
    for (label &l : p.labelTable)
        l = label{-1, -1, -1};
    p.nextLabel = 1;
    p.poolPointer = 0;
    p.cursor = 0;
    p.currentCommand = 0;
    p.lastRE = -1;
    p.braceDepth = 0;
    p.groupCount = 0;
    std::memset(p.braceStack, 0, sizeof p.braceStack);
    p.scriptState = 0;
    p.pendingLine = -1;
    p.errorString[0] = 0;
    p.status = 0;
    p.patternSpace[0] = 0;
    m_scriptBuffer[0] = 0;
    m_lineNumbersUsed = 0;
    m_holdEnd = 0;
    m_end = 0;
    return 0;
}

void SedObj::fail(const char *message)
{
    // A message with a placeholder names the command being compiled, from its first character.
    const char *line = m_prog.patternSpace;
    const int from =
        m_commandStart >= 0 && m_commandStart <= static_cast<int>(std::strlen(line)) ? m_commandStart : 0;
    fail(message, line + from);
}

void SedObj::fail(const char *message, const char *argument)
{
    setError(message, shown(argument));
    if (m_compiling) {
        // The next clear must reach everything this compile wrote: an RE or a text may have been
        // written past the pool pointer, by at most one script line or one compiled RE.
        m_commandsUsed = std::max(m_commandsUsed, m_prog.currentCommand + 1);
        m_poolUsed = std::min(poolSize, m_prog.poolPointer + scriptBufferSize + reMaxHeader + maxReBytes
                                            + maxLiteral + maxRequired);
        // A program that failed to compile is never run half-built: it becomes the empty program.
        m_prog.commands[0] = cmd_t{};
        m_prog.commands[0].firstAddress = -1;
        m_prog.braceDepth = 0;
        m_compiling = false;
    }
    quit(2);
}

void SedObj::checkPool(int position)
{
    if (position >= poolSize)
        fail("sed: too much text: %s\n");
}

void SedObj::put(int position, int byte)
{
    checkPool(position);
    m_prog.textPool[position] = static_cast<unsigned char>(byte);
}

void SedObj::skipBlanks()
{
    while (isBlank(m_prog.patternSpace[m_prog.cursor]))
        ++m_prog.cursor;
}

int SedObj::cmdline(char *buffer)
{
    Program &p = m_prog;
    if (p.scriptState == 0)
        return -1;
    if (p.scriptState > 0) {
        p.scriptState = -1;
        p.pendingLine = 0;
    }
    if (p.pendingLine < 0)
        return -1;
    const char *in = m_scriptBuffer + p.pendingLine;
    int n = 0;
    for (;;) {
        const char c = *in;
        if (c == 0) {
            p.pendingLine = -1;
            break;
        }
        if (c == '\n') {
            p.pendingLine = static_cast<int>(in + 1 - m_scriptBuffer);
            break;
        }
        if (c == '\\') {
            if (in[1] == 0) {
                // A backslash that ends the script ends it; its line is not compiled.
                p.pendingLine = -1;
                return -1;
            }
            buffer[n++] = c;
            buffer[n++] = in[1];
            in += 2;
            continue;
        }
        buffer[n++] = c;
        ++in;
    }
    buffer[n] = 0;
    return 1;
}

void SedObj::compile()
{
    Program &p = m_prog;
    char *const line = p.patternSpace;
    line[0] = 0;
    p.cursor = 0;
    for (;;) {
        if (line[p.cursor] == 0) {
            if (cmdline(line) < 0)
                return;
            p.cursor = 0;
        }
        skipBlanks();
        const char lead = line[p.cursor];
        if (lead == 0)
            continue;
        if (lead == '#') {
            p.cursor += static_cast<int>(std::strlen(line + p.cursor));
            continue;
        }
        if (lead == ';') {
            ++p.cursor;
            continue;
        }
        m_commandStart = p.cursor;
        checkPool(p.poolPointer);

        cmd_t &cmd = p.commands[p.currentCommand];
        cmd = cmd_t{};
        cmd.firstAddress = -1;
        cmd.secondAddress = -1;
        cmd.argument = -1;
        cmd.replacement = -1;

        int start = p.poolPointer;
        int after = address(start);
        if (after == -1)
            fail("sed: garbled address %s\n");
        if (after != noAddress) {
            cmd.firstAddress = takeAddress(start, after);
            if (line[p.cursor] == ',' || line[p.cursor] == ';') {
                ++p.cursor;
                checkPool(p.poolPointer);
                start = p.poolPointer;
                after = address(start);
                if (after == -1 || after == noAddress)
                    fail("sed: garbled address %s\n");
                cmd.secondAddress = takeAddress(start, after);
            }
        }
        checkPool(p.poolPointer);
        skipBlanks();
        if (line[p.cursor] == '!') {
            cmd.negated = 1;
            ++p.cursor;
            skipBlanks();
        }
        const int letter = static_cast<unsigned char>(line[p.cursor]);
        const int code = (letter >= '8' && letter <= '~') ? commandCode(letter) : -1;
        if (code < 0)
            fail("sed: no such command as %s\n");
        cmd.code = static_cast<std::uint8_t>(code);
        ++p.cursor;
        if (needsCmdcomp(letter) && cmdcomp(letter) == recordUnused)
            continue;
        nextRecord();
        skipBlanks();
        const char rest = line[p.cursor];
        if (rest != 0 && rest != ';' && rest != '#' && rest != '}')
            fail("sed: command \"%s\" has trailing garbage\n");
    }
}

int SedObj::takeAddress(int start, int after)
{
    Program &p = m_prog;
    if (after == start) {
        // An empty RE stands for the last RE compiled.
        if (p.lastRE < 0)
            fail("sed: first RE must be non-null\n");
        return p.lastRE;
    }
    p.poolPointer = after;
    const int kind = p.textPool[start];
    if (kind != opLineNumber && kind != opLastLine)
        p.lastRE = start;
    return start;
}

void SedObj::nextRecord()
{
    if (++m_prog.currentCommand >= commandCount)
        fail("sed: too many commands, last was %s\n");
}

int SedObj::address(int out)
{
    Program &p = m_prog;
    const char *line = p.patternSpace;
    const char c = line[p.cursor];
    if (c == '$') {
        ++p.cursor;
        put(out, opLastLine);
        put(out + 1, opEnd);
        return out + 2;
    }
    if (c == '/') {
        ++p.cursor;
        return recomp(out, '/');
    }
    if (c == '\\') {
        const char delimiter = line[p.cursor + 1];
        if (delimiter == 0 || delimiter == '\n' || delimiter == '\\')
            return -1;
        p.cursor += 2;
        return recomp(out, static_cast<unsigned char>(delimiter));
    }
    if (c >= '0' && c <= '9') {
        long value = 0;
        while (line[p.cursor] >= '0' && line[p.cursor] <= '9') {
            value = value * 10 + (line[p.cursor++] - '0');
            if (value > 2147483647L)
                return -1;
        }
        if (m_lineNumbersUsed >= lineNumberCount - 1)
            fail("sed: too many line numbers\n");
        const int index = m_lineNumbersUsed++;
        p.lineNumberTable[index] = static_cast<int>(value);
        put(out, opLineNumber);
        put(out + 1, index);
        put(out + 2, opEnd);
        return out + 3;
    }
    return noAddress;
}

int SedObj::cmdcomp(int letter)
{
    Program &p = m_prog;
    cmd_t &cmd = p.commands[p.currentCommand];
    const char *line = p.patternSpace;
    switch (letter) {
    case ':': {
        if (cmd.firstAddress >= 0)
            fail("sed: no addresses allowed for %s\n");
        const int name = p.poolPointer;
        const int after = labelName(name);
        if (p.textPool[name] == 0)
            fail("sed: garbled command %s\n");
        label *known = search(reinterpret_cast<const char *>(p.textPool + name));
        if (known && known->definition >= 0)
            fail("sed: duplicate label %s\n", reinterpret_cast<const char *>(p.textPool + name));
        if (known) {
            known->definition = p.currentCommand;
        } else {
            label &l = newLabel(name);
            l.name = name;
            l.definition = p.currentCommand;
            p.poolPointer = after;
        }
        return recordUnused;
    }
    case '=':
    case 'q':
        if (cmd.secondAddress >= 0)
            fail("sed: only one address allowed for %s\n");
        return recordUsed;
    case 'a':
    case 'i':
    case 'r':
        if (cmd.secondAddress >= 0)
            fail("sed: only one address allowed for %s\n");
        [[fallthrough]];
    case 'c':
        if (line[p.cursor] == '\\') {
            ++p.cursor;
            if (line[p.cursor] == '\n')
                ++p.cursor;
        }
        cmd.argument = p.poolPointer;
        p.poolPointer = _gettext(p.poolPointer);
        return recordUsed;
    case 'D':
        cmd.argument = 0;
        return recordUsed;
    case 'b':
    case 't':
    case 'T':
        branchLabel(cmd);
        return recordUsed;
    case 'l':
        if (line[p.cursor] != 'w')
            return recordUsed;
        ++p.cursor;
        [[fallthrough]];
    case 'w':
    case 'W':
        cmd.outputFile = static_cast<std::uint8_t>(openWriteFile() + 1);
        return recordUsed;
    case 's': {
        const int delimiter = commandDelimiter();
        const int start = p.poolPointer;
        const int after = recomp(start, delimiter);
        if (after == -1)
            fail("sed: garbled command %s\n");
        if (after == start) {
            if (p.lastRE < 0)
                fail("sed: first RE must be non-null\n");
            cmd.argument = p.lastRE;
        } else {
            cmd.argument = start;
            p.lastRE = start;
            p.poolPointer = after;
        }
        checkPool(p.poolPointer);
        cmd.replacement = p.poolPointer;
        const int end = rhscomp(p.poolPointer, delimiter);
        if (end == -1)
            fail("sed: garbled command %s\n");
        p.poolPointer = end;
        for (;;) {
            const char flag = line[p.cursor];
            if (flag == 'g') {
                if (cmd.global < 255)
                    ++cmd.global;
            } else if (flag == 'p') {
                cmd.printMode = 1;
            } else if (flag == 'P') {
                cmd.printMode = 2;
            } else if (flag == 'w') {
                ++p.cursor;
                cmd.outputFile = static_cast<std::uint8_t>(openWriteFile() + 1);
                break;
            } else {
                break;
            }
            ++p.cursor;
        }
        return recordUsed;
    }
    case 'y': {
        const int delimiter = commandDelimiter();
        cmd.argument = p.poolPointer;
        const int after = ycomp(p.poolPointer, delimiter);
        if (after == -1)
            fail("sed: garbled command %s\n");
        p.poolPointer = after;
        checkPool(p.poolPointer);
        return recordUsed;
    }
    case '{':
        if (p.braceDepth >= braceLimit)
            fail("sed: too many {'s\n");
        cmd.negated ^= 1;
        p.braceStack[p.braceDepth++] = p.currentCommand;
        nextRecord();
        return recordUnused;
    case '}':
        if (cmd.firstAddress >= 0)
            fail("sed: no addresses allowed for %s\n");
        if (--p.braceDepth < 0)
            fail("sed: too many }'s\n");
        p.commands[p.braceStack[p.braceDepth]].argument = p.currentCommand;
        cmd.code = cmdNone;
        return recordUnused;
    default:
        return recordUsed;
    }
}

int SedObj::commandDelimiter()
{
    // The character after s or y delimits its parts; the end of the line, a newline or a backslash cannot.
    Program &p = m_prog;
    const int delimiter = static_cast<unsigned char>(p.patternSpace[p.cursor]);
    if (delimiter == 0 || delimiter == '\n' || delimiter == '\\')
        fail("sed: garbled command %s\n");
    ++p.cursor;
    return delimiter;
}

SedObj::label &SedObj::newLabel(int name)
{
    Program &p = m_prog;
    if (p.nextLabel >= labelCount - 1)
        fail("sed: too many labels: %s\n", reinterpret_cast<const char *>(p.textPool + name));
    label &l = p.labelTable[p.nextLabel++];
    l = label{-1, -1, -1};
    return l;
}

void SedObj::branchLabel(cmd_t &cmd)
{
    Program &p = m_prog;
    skipBlanks();
    const char c = p.patternSpace[p.cursor];
    label *target;
    if (c == 0 || c == ';' || c == '}') {
        target = &p.labelTable[0];
    } else {
        const int name = p.poolPointer;
        const int after = labelName(name);
        target = search(reinterpret_cast<const char *>(p.textPool + name));
        if (target && target->definition >= 0) {
            cmd.argument = target->definition;
            return;
        }
        if (!target) {
            target = &newLabel(name);
            target->name = name;
            p.poolPointer = after;
        }
    }
    cmd.argument = target->firstReference;
    target->firstReference = p.currentCommand;
}

int SedObj::labelName(int out)
{
    // A label name runs to the end of the line or to ";", without surrounding blanks.
    Program &p = m_prog;
    skipBlanks();
    const char *line = p.patternSpace;
    const int start = out;
    while (line[p.cursor] != 0 && line[p.cursor] != ';')
        put(out++, line[p.cursor++]);
    while (out > start && isBlank(p.textPool[out - 1]))
        --out;
    put(out, 0);
    return out + 1;
}

int SedObj::openWriteFile()
{
    Program &p = m_prog;
    const int name = p.poolPointer;
    _gettext(name);
    const char *text = reinterpret_cast<const char *>(p.textPool + name);
    // Standard output is slot 0, the engine's output sink, so that what w writes there keeps its
    // place among the other output; standard error goes through the error sink the same way.
    if (std::strcmp(text, "/dev/stdout") == 0)
        return 0;
    for (int slot = 1; slot < m_writeFileCount; ++slot)
        if (std::strcmp(m_writeFileNames[slot], text) == 0)
            return slot;
    if (m_writeFileCount >= writeFileCount)
        fail("sed: too many w files\n");
    const std::size_t length = std::strlen(text);
    if (length == 0 || length >= sizeof m_writeFileNames[0])
        fail("sed: cannot create %s\n", text);
    const int fd = std::strcmp(text, "/dev/stderr") == 0
                       ? errorSinkFile
                       : ::open(text, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd == -1)
        fail("sed: cannot create %s\n", text);
    const int slot = m_writeFileCount++;
    std::memcpy(m_writeFileNames[slot], text, length + 1);
    m_writeFiles[slot] = fd;
    return slot;
}

int SedObj::recomp(int out, int delimiter)
{
    Program &p = m_prog;
    const char *line = p.patternSpace;
    if (static_cast<unsigned char>(line[p.cursor]) == delimiter) {
        ++p.cursor;
        return out;
    }
    if (out + reMaxHeader + maxReBytes + maxLiteral + maxRequired > poolSize)
        fail("sed: too much text: %s\n");
    // Layout: the anchor byte, the first-character filter (a flag and a 16-byte set), where the
    // required literal is (reLiteral... bytes), then the items, and the literal's characters after
    // them.  The items are compiled after their own anchor byte as re[0].
    unsigned char *const head = p.textPool + out;
    unsigned char *const re = head + reMaxHeader - 1;
    int n = 0;
    int previous = -1;
    int opened = 0;
    unsigned closed = 0; // groups closed so far, one bit each
    int openStack[9];
    int depth = 0;
    bool backReference = false;
    re[n++] = 0;
    if (line[p.cursor] == '^') {
        re[0] = 1;
        ++p.cursor;
    }
    // Room for an item of the given size and the end marker after it.
    auto fits = [&](int size) { return n + size + 1 <= maxReBytes; };
    for (;;) {
        const int c = static_cast<unsigned char>(line[p.cursor]);
        if (c == delimiter) {
            ++p.cursor;
            break;
        }
        if (c == 0)
            break;
        ++p.cursor;
        if (c == '\n')
            return -1;
        if (c == '*' && previous >= 0 && re[previous] != opGroupStart) {
            const int op = re[previous];
            if (op == opGroupEnd)
                return -1;
            if ((op & 1) == 0)
                re[previous] = static_cast<unsigned char>(op + 1);
            continue;
        }
        if (c == '[') {
            if (!fits(17))
                fail("sed: RE too long: %s\n");
            previous = n;
            if (!compileClass(re + n))
                return -1;
            n += 17;
            continue;
        }
        if (!fits(2))
            return -1;
        previous = n;
        if (c == '.') {
            re[n++] = opAny;
            continue;
        }
        if (c == '$' && static_cast<unsigned char>(line[p.cursor]) == delimiter) {
            re[n++] = opEndOfText;
            continue;
        }
        int literal = c;
        if (c == '\\') {
            const int d = static_cast<unsigned char>(line[p.cursor]);
            if (d == 0 || d == '\n')
                return -1;
            ++p.cursor;
            if (d == '(') {
                if (opened == 9)
                    return -1;
                openStack[depth++] = opened;
                re[n++] = opGroupStart;
                re[n++] = static_cast<unsigned char>(opened++);
                continue;
            }
            if (d == ')') {
                if (depth == 0)
                    return -1;
                re[n++] = opGroupEnd;
                re[n++] = static_cast<unsigned char>(openStack[--depth]);
                closed |= 1u << openStack[depth];
                continue;
            }
            if (d >= '1' && d <= '9') {
                // Only a closed group has a text to repeat.
                if (!(closed & (1u << (d - '1'))))
                    return -1;
                re[n++] = opBackReference;
                re[n++] = static_cast<unsigned char>(d - '1');
                backReference = true;
                continue;
            }
            literal = d == 'n' ? '\n' : d == 'r' ? '\r' : d == 't' ? '\t' : d;
        }
        re[n++] = opChar;
        re[n++] = static_cast<unsigned char>(literal);
    }
    if (depth != 0)
        return -1;
    re[n++] = opEnd;
    if (backReference)
        re[0] |= reHasBackReference;
    p.groupCount = opened;
    return out + finishRe(head, n);
}

int SedObj::finishRe(unsigned char *head, int n)
{
    // The items were compiled after room for the longest header; the header is written now with
    // only the parts this RE uses, the items are moved up behind it and the required literal's
    // characters follow them.  Returns the size of the whole.
    const unsigned char *re = head + reMaxHeader - 1;
    const unsigned char *items = re + 1;
    unsigned char first[16];
    unsigned char last[16];
    unsigned char literal[maxLiteral];
    bool hasFirst = firstCharacters(items, first);
    const bool hasLast = lastCharacters(items, last);
    int before = 0;
    bool exact = false;
    const int literalLength = requiredLiteral(items, literal, before, exact);
    int leadBefore = 0;
    const int lead = leadingRun(items, leadBefore);
    // A literal that starts every match says more than the first-character set.
    if (literalLength > 0 && exact && before == 0)
        hasFirst = false;
    const int anchor = re[0];
    int at = reFixedHeader;
    if (hasFirst) {
        std::memcpy(head + at, first, 16);
        at += 16;
    }
    if (hasLast) {
        std::memcpy(head + at, last, 16);
        at += 16;
    }
    head[at++] = static_cast<unsigned char>(anchor);
    const int itemsAt = at;
    std::memmove(head + itemsAt, items, static_cast<std::size_t>(n - 1));
    const int literalAt = itemsAt + n - 1;
    std::memcpy(head + literalAt, literal, static_cast<std::size_t>(literalLength));
    const int requiredAt = literalAt + literalLength;
    bool costly = false;
    const int requiredLength =
        requirements(head + itemsAt, literal, literalLength, head + requiredAt, costly);
    // An RE that is nothing but its literal matches wherever the literal is found.
    bool whole = literalLength > 0 && exact && before == 0 && n - 2 == 2 * literalLength;
    for (int i = 0; whole && i < n - 2; i += 2)
        whole = head[itemsAt + i] == opChar;
    head[0] = static_cast<unsigned char>(anchor);
    head[reFlags] = static_cast<unsigned char>(
        (hasFirst ? reFirstFilter : 0) | (hasLast ? reLastFilter : 0) | (exact ? reLiteralExact : 0)
        | (costly ? reCostly : 0) | (whole ? reWholeLiteral : 0) | (m_prog.groupCount > 0 ? reHasGroups : 0));
    head[reRequiredAt] = static_cast<unsigned char>(requiredAt & 255);
    head[reRequiredAt + 1] = static_cast<unsigned char>(requiredAt >> 8);
    head[reMinLength] = head[requiredAt];
    head[reMinLength + 1] = head[requiredAt + 1];
    head[reItemsAt] = static_cast<unsigned char>(itemsAt);
    head[reLiteralAt] = static_cast<unsigned char>(literalAt & 255);
    head[reLiteralAt + 1] = static_cast<unsigned char>(literalAt >> 8);
    head[reLiteralLength] = static_cast<unsigned char>(literalLength);
    head[reLiteralBefore] = static_cast<unsigned char>(before);
    head[reLeadingRun] = static_cast<unsigned char>(lead + 1);
    head[reLeadingBefore] = static_cast<unsigned char>(leadBefore);
    return requiredAt + requiredLength;
}

int SedObj::requirements(const unsigned char *items, const unsigned char *literal, int literalLength,
                         unsigned char *out, bool &costly)
{
    // Walks the items counting what every match must hold: each character that is not starred,
    // and for a back-reference what its group holds once more; the minimum length likewise.  The
    // characters the required literal already holds as often are left out (the matcher looks for
    // the literal first), and so are those past the first few.  A search for an RE with
    // back-references or several stars can be long, so it checks these first (costly).
    std::uint16_t counts[256] = {};
    std::uint16_t groupCounts[9][256];
    std::uint16_t startCounts[9][256];
    int groupMinimum[9] = {};
    int startMinimum[9] = {};
    int minimum = 0;
    int stars = 0;
    bool backReference = false;
    const unsigned char *classes[requiredClasses];
    int classCount = 0;
    for (int i = 0; items[i] != opEnd;) {
        const int op = items[i];
        switch (op) {
        case opChar:
            ++counts[items[i + 1]];
            ++minimum;
            break;
        case opAny:
            ++minimum;
            break;
        case opClass:
            ++minimum;
            if (classCount < requiredClasses)
                classes[classCount++] = items + i + 1;
            break;
        case opGroupStart:
            std::memcpy(startCounts[items[i + 1]], counts, sizeof counts);
            startMinimum[items[i + 1]] = minimum;
            break;
        case opGroupEnd: {
            const int g = items[i + 1];
            for (int c = 0; c < 256; ++c)
                groupCounts[g][c] = static_cast<std::uint16_t>(counts[c] - startCounts[g][c]);
            groupMinimum[g] = minimum - startMinimum[g];
            break;
        }
        case opBackReference: {
            const int g = items[i + 1];
            for (int c = 0; c < 256; ++c)
                counts[c] = static_cast<std::uint16_t>(counts[c] + groupCounts[g][c]);
            minimum += groupMinimum[g];
            backReference = true;
            break;
        }
        case opBackReferenceStar:
            backReference = true;
            ++stars;
            break;
        case opCharStar:
        case opAnyStar:
        case opClassStar:
            ++stars;
            break;
        default:
            break;
        }
        i += op == opClass || op == opClassStar                    ? 17
             : op == opAny || op == opAnyStar || op == opEndOfText ? 1
                                                                   : 2;
    }
    costly = backReference || stars >= 2;
    for (int k = 0; k < literalLength; ++k)
        if (counts[literal[k]] > 0)
            --counts[literal[k]];
    if (minimum > 65535)
        minimum = 65535;
    int n = 0;
    out[n++] = static_cast<unsigned char>(minimum & 255);
    out[n++] = static_cast<unsigned char>(minimum >> 8);
    const int countAt = n++;
    int characters = 0;
    for (int c = 0; c < 256 && characters < requiredCharacters; ++c) {
        if (counts[c] == 0)
            continue;
        out[n++] = static_cast<unsigned char>(c);
        // The literal holds one copy already.
        int copies = counts[c];
        for (int k = 0; k < literalLength; ++k)
            copies += literal[k] == c;
        out[n++] = static_cast<unsigned char>(copies > 255 ? 255 : copies);
        ++characters;
    }
    out[countAt] = static_cast<unsigned char>(characters);
    out[n++] = static_cast<unsigned char>(classCount);
    for (int k = 0; k < classCount; ++k) {
        std::memcpy(out + n, classes[k], 16);
        n += 16;
    }
    return n;
}

int SedObj::leadingRun(const unsigned char *items, int &before)
{
    // "X*R" that fails at a start has tried R after every length of the run of X there, and so
    // has "XX*R" one character on: the starts inside that run cannot succeed.  No group starts
    // before the run, so what R does at a position does not depend on where the match began.
    before = 0;
    if (items[0] == opCharStar || items[0] == opAnyStar || items[0] == opClassStar)
        return 0;
    before = 1;
    if (items[0] == opChar && items[2] == opCharStar && items[1] == items[3])
        return 2;
    if (items[0] == opAny && items[1] == opAnyStar)
        return 1;
    if (items[0] == opClass && items[17] == opClassStar && std::memcmp(items + 1, items + 18, 16) == 0)
        return 17;
    before = 0;
    return -1;
}

int SedObj::requiredLiteral(const unsigned char *items, unsigned char *best, int &bestBefore, bool &bestExact)
{
    // Every literal character that is not starred must occur in a match, in RE order; group marks
    // consume nothing.  The longest run of such characters is kept after the items so that the
    // matcher can look for it with memmem before any backtracking, together with the number of
    // characters every match holds before it and whether that number is exact (no star and no
    // back-reference before the run).
    int bestLength = 0;
    bestBefore = 0;
    bestExact = false;
    int length = 0;
    int before = 0;
    bool exact = true;
    int runBefore = 0;
    bool runExact = true;
    unsigned char run[maxLiteral];
    auto closeRun = [&]() {
        if (length > bestLength) {
            std::memcpy(best, run, static_cast<std::size_t>(length));
            bestLength = length;
            bestBefore = runBefore;
            bestExact = runExact;
        }
        length = 0;
    };
    for (int i = 0; items[i] != opEnd;) {
        const int op = items[i];
        if (op == opChar) {
            if (length == 0) {
                runBefore = before;
                runExact = exact;
            }
            run[length++] = items[i + 1];
            ++before;
        } else if (op != opGroupStart && op != opGroupEnd) {
            closeRun();
            if (op == opAny || op == opClass)
                ++before;
            else if (op != opEndOfText)
                exact = false;
        }
        i += op == opClass || op == opClassStar                    ? 17
             : op == opAny || op == opAnyStar || op == opEndOfText ? 1
                                                                   : 2;
    }
    closeRun();
    return bestLength;
}

bool SedObj::firstCharacters(const unsigned char *items, unsigned char *set)
{
    // The bytes a match must begin with, as a set of the RE's own kind (bit 0: bytes above 127);
    // false when a match may be empty or begin with anything.
    std::memset(set, 0, 16);
    for (int i = 0;;) {
        const int op = items[i];
        switch (op) {
        case opGroupStart:
        case opGroupEnd:
            i += 2;
            break;
        case opChar:
        case opCharStar:
            if (items[i + 1] > 127)
                set[0] = static_cast<unsigned char>(set[0] | 1u);
            else
                addToSet(set, items[i + 1]);
            if (op == opChar)
                return true;
            i += 2;
            break;
        case opClass:
        case opClassStar:
            for (int k = 0; k < 16; ++k)
                set[k] = static_cast<unsigned char>(set[k] | items[i + 1 + k]);
            if (op == opClass)
                return true;
            i += 17;
            break;
        default:
            return false;
        }
    }
}

bool SedObj::lastCharacters(const unsigned char *items, unsigned char *set)
{
    // For an RE that ends in "$": the bytes a match must end with (the text's last byte), as a set
    // like firstCharacters; false when a match may be empty or end with anything.
    std::memset(set, 0, 16);
    int offsets[maxReBytes];
    int count = 0;
    for (int i = 0; items[i] != opEnd;) {
        const int op = items[i];
        offsets[count++] = i;
        i += op == opClass || op == opClassStar                    ? 17
             : op == opAny || op == opAnyStar || op == opEndOfText ? 1
                                                                   : 2;
    }
    if (count == 0 || items[offsets[count - 1]] != opEndOfText)
        return false;
    for (int k = count - 2; k >= 0; --k) {
        const unsigned char *item = items + offsets[k];
        const int op = item[0];
        if (op == opGroupStart || op == opGroupEnd)
            continue;
        if (op == opChar || op == opCharStar) {
            if (item[1] > 127)
                set[0] = static_cast<unsigned char>(set[0] | 1u);
            else
                addToSet(set, item[1]);
        } else if (op == opClass || op == opClassStar) {
            for (int b = 0; b < 16; ++b)
                set[b] = static_cast<unsigned char>(set[b] | item[1 + b]);
        } else {
            return false;
        }
        if (op == opChar || op == opClass)
            return true;
    }
    return false;
}

bool SedObj::compileClass(unsigned char *item)
{
    Program &p = m_prog;
    const char *line = p.patternSpace;
    unsigned char *set = item + 1;
    item[0] = opClass;
    std::memset(set, 0, 16);
    bool negate = false;
    if (line[p.cursor] == '^') {
        negate = true;
        ++p.cursor;
    }
    // Reads one member character, with the escapes a class knows; -1 at the end of the line.
    auto member = [&]() -> int {
        int c = static_cast<unsigned char>(line[p.cursor]);
        if (c == 0)
            return -1;
        ++p.cursor;
        if (c == '\\') {
            const int d = static_cast<unsigned char>(line[p.cursor]);
            if (d == 0)
                return -1;
            ++p.cursor;
            c = d == 'n' ? '\n' : d == 't' ? '\t' : d == 'r' ? '\r' : d;
        }
        return c;
    };
    bool first = true;
    for (;;) {
        if (line[p.cursor] == 0)
            fail("sed: garbled command %s\n");
        if (line[p.cursor] == ']' && !first)
            break;
        first = false;
        const int low = member();
        if (low < 0)
            fail("sed: garbled command %s\n");
        int high = low;
        if (line[p.cursor] == '-' && line[p.cursor + 1] != ']' && line[p.cursor + 1] != 0) {
            ++p.cursor;
            high = member();
            if (high < 0)
                fail("sed: garbled command %s\n");
        }
        // The set has room for 7-bit characters only.
        if (low > 127 || high > 127)
            return false;
        for (int c = low; c <= high; ++c)
            addToSet(set, c);
    }
    ++p.cursor;
    set[0] = static_cast<unsigned char>(set[0] & ~1u);
    if (negate) {
        for (int i = 0; i < 16; ++i)
            set[i] = static_cast<unsigned char>(~set[i]);
        // The bit of character 0 marks the set as negated: bytes above 127 are its members too.
    }
    return true;
}

int SedObj::rhscomp(int out, int delimiter)
{
    Program &p = m_prog;
    const char *line = p.patternSpace;
    for (;;) {
        const int c = static_cast<unsigned char>(line[p.cursor]);
        if (c == 0)
            return -1;
        ++p.cursor;
        if (c == delimiter) {
            put(out++, 0);
            return out;
        }
        if (c == '\\') {
            // A backslash and the character after it are stored as the escape mark and the
            // character, so that bytes above 127 in ordinary text stay themselves.
            const int d = static_cast<unsigned char>(line[p.cursor]);
            if (d == 0)
                return -1;
            ++p.cursor;
            if (d >= '1' && d <= '9' && d - '0' > p.groupCount)
                return -1;
            put(out++, replacementEscape);
            put(out++, d);
            continue;
        }
        if (c == replacementEscape) {
            put(out++, replacementEscape);
            put(out++, c);
            continue;
        }
        put(out++, c);
    }
}

int SedObj::ycomp(int out, int delimiter)
{
    Program &p = m_prog;
    const char *line = p.patternSpace;
    int s = p.cursor;
    while (static_cast<unsigned char>(line[s]) != delimiter) {
        if (line[s] == 0 || line[s] == '\n')
            return -1;
        if (line[s] == '\\') {
            if (line[s + 1] == 0 || line[s + 1] == '\n')
                return -1;
            ++s;
        }
        ++s;
    }
    const int sourceEnd = s;
    int t = sourceEnd + 1;
    if (out + 256 > poolSize)
        fail("sed: too much text: %s\n");
    // A table of all 256 byte values, so that y maps a text with one lookup per character.
    unsigned char *table = p.textPool + out;
    std::memset(table, 0, 256);
    // One character of source or target: only \n is an escape here.
    auto next = [&](int &i) -> int {
        if (line[i] == '\\' && line[i + 1] == 'n') {
            i += 2;
            return '\n';
        }
        return static_cast<unsigned char>(line[i++]);
    };
    s = p.cursor;
    while (s < sourceEnd) {
        const int from = next(s);
        if (line[t] == 0 || static_cast<unsigned char>(line[t]) == delimiter)
            return -1;
        const int to = next(t);
        if (from > 127 || to > 127)
            return -1;
        table[from] = static_cast<unsigned char>(to);
    }
    if (static_cast<unsigned char>(line[t]) != delimiter)
        return -1;
    for (int c = 0; c < 256; ++c)
        if (table[c] == 0)
            table[c] = static_cast<unsigned char>(c);
    // Bytes above 127 always map to themselves, so when y changes only a few characters their
    // list goes in the upper half of the table (see yListMark): a run then changes sixteen
    // characters at a time by comparing them with each listed one.
    int changed = 0;
    for (int c = 0; c < 128; ++c)
        changed += table[c] != c;
    if (changed <= yListMax) {
        unsigned char *pair = table + yListAt;
        for (int c = 0; c < 128; ++c) {
            if (table[c] != c) {
                *pair++ = static_cast<unsigned char>(c);
                *pair++ = table[c];
            }
        }
        table[yListCount] = static_cast<unsigned char>(changed);
        table[yListMark] = 0;
    }
    p.cursor = t + 1;
    return out + 256;
}

int SedObj::_gettext(int out)
{
    Program &p = m_prog;
    const char *line = p.patternSpace;
    skipBlanks();
    for (;;) {
        char c = line[p.cursor];
        if (c == 0)
            break;
        if (c == '\\') {
            ++p.cursor;
            c = line[p.cursor];
            if (c == 0)
                break;
        }
        put(out++, c);
        ++p.cursor;
        if (c == '\n')
            skipBlanks();
    }
    put(out++, 0);
    return out;
}

SedObj::label *SedObj::search(const char *name)
{
    Program &p = m_prog;
    for (int i = 0; i < p.nextLabel; ++i) {
        label &l = p.labelTable[i];
        if (l.name >= 0 && std::strcmp(reinterpret_cast<const char *>(p.textPool + l.name), name) == 0)
            return &l;
    }
    return nullptr;
}

void SedObj::resolve()
{
    Program &p = m_prog;
    for (int i = 0; i < p.nextLabel; ++i) {
        label &l = p.labelTable[i];
        if (l.definition < 0) {
            if (l.firstReference >= 0)
                fail("sed: undefined label %s\n", reinterpret_cast<const char *>(p.textPool + l.name));
            continue;
        }
        for (int c = l.firstReference; c >= 0;) {
            const int next = p.commands[c].argument;
            p.commands[c].argument = l.definition;
            c = next;
        }
        l.firstReference = -1;
    }
}
