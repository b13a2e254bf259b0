// SedObj: a complete stream editor held in one object.
//
// A script is compiled into a fixed table of command records; each run edits one text held in memory
// (the pattern space) and the caller reads the pattern space back as the result.  All storage is
// fixed-size and lives inside the object (about 4.5 MB, so create it with new); compiling and running
// allocate nothing.  Storage the engine does not use costs no memory: the constructor writes only
// the small state, a program clears only what the last one wrote, the matcher's tables are
// cleared lazily (generation stamps, chunks cleared on first use) and the context slots are never
// written until a context is saved, so an idle engine stays under a few KiB resident and one that
// runs short scripts under a few tens of KiB.  Fatal errors and the q command leave through SedObjException; the message stays
// readable through get_error_string().
//
// Limits (each refused with a sed message, never silently cut):
//   text handed to a run     at most maxText (4000) characters, else "sed: text too long\n" (code 2)
//   script                   at most maxScript (3999) characters, else "sed: script too long\n"
//   text pool                20000 bytes, else "sed: too much text: %s\n"
//   commands                 499, else "sed: too many commands, last was %s\n"
//   open braces              20, else "sed: too many {'s\n"
//   line-number addresses    255, labels 48, w files 9 besides standard output
//   work of one run          workBudget units, about a second of this machine's time, else
//                            "sed: script runs too long\n" (code 2).  A unit is one step of the RE
//                            matcher (about 3 ns), or 16 characters of text a command touches;
//                            every command run costs commandUnits more.
//   one search of an RE      searchShare (a quarter of workBudget) units, shared by the repeated
//                            searches of one global substitution, else "sed: RE too complex\n"
//                            (code 2), never a wrong answer.  A search is answered "no match"
//                            when the text lacks what every match holds: the required literal,
//                            enough copies of each required character, a character of each
//                            required class, the minimum length (back-references counted with
//                            their groups).  The length is checked before every search, the
//                            characters before the searches of REs with back-references, and
//                            the rest as soon as a search takes more than a few steps per
//                            character, so such a search never reaches the bound and short
//                            searches pay nothing for it.
//                            Failed matcher states are remembered (with the contents of the groups
//                            that back-references read): REs without back-references need fewer
//                            than 20 steps per character, and back-reference searches whose work
//                            grows with the square of the text length fit in the share on 4000
//                            characters; those that grow faster may not.
//   loops                    a loop that comes back to a state it was in before (same command,
//                            pattern and hold space, flags) never ends: "sed: script runs too
//                            long\n" at once.  Other loops run within workBudget.
//
// Line counting: every run counts its text as the next input line (line 1 is the first text after the
// engine was created), so numeric addresses and open ranges carry from one run to the next.  A text is
// the last line ("$") unless the caller says more input follows (the three-argument execute_commands).
// The engine never reads the process's standard input: n and N always see the end of input.
//
// One object must be used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// The exception of the engine: the code given to quit (2 for errors, 0 for the q command).
class SedObjException {
public:
    explicit SedObjException(int code) noexcept : m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

class SedObj {
public:
    static constexpr int maxText = 4000;          // characters of pattern and hold space
    static constexpr int scriptBufferSize = 4000; // bytes, terminator included
    static constexpr int maxScript = scriptBufferSize - 1;
    static constexpr int poolSize = 20000;
    static constexpr int commandCount = 500; // records; the last stays the terminator
    static constexpr int maxReBytes = 256;   // one compiled RE, anchor byte included
    static constexpr int braceLimit = 20;
    static constexpr int labelCount = 50;
    static constexpr int lineNumberCount = 256;
    static constexpr int writeFileCount = 10;
    static constexpr int queueSize = 20;
    static constexpr int errorSize = 100;
    static constexpr int printBufferSize = 4000;
    static constexpr int contextCount = 100;

    // Receives what the engine writes to its standard output (p, the p flag of s, n, q, w to slot 0).
    using OutputSink = void (*)(void *context, const char *data, std::size_t length);

    SedObj();
    ~SedObj();
    SedObj(const SedObj &) = delete;
    SedObj &operator=(const SedObj &) = delete;

    // Compiles script as the program. -1 when script is null, else 0; errors throw SedObjException(2).
    int recompile(const char *script);
    // Empties the compiled program and the compile state. Returns 0.
    int clear_current_context();
    // Runs the program once over text; returns the pattern space (the result), or null for a null text.
    // The text counts as the next line and as the last line.
    char *execute_commands(const char *text);
    // The same for a text of the given length; lastLine false means more input follows (for "$").
    char *execute_commands(const char *text, std::size_t length, bool lastLine);
    // One-call form: compiles script when given (null reuses the program), then runs it over text.
    // Null when no script text is held.
    char *main_entry(const char *script, const char *text);
    // One run of the compiled program over the pattern space.
    void execute();

    int context_save(int id);
    int context_load(int id);
    int get_context_id() const { return m_currentContext; }

    int status() const { return m_prog.status; }
    const char *get_error_string() const { return m_prog.errorString; }
    // Length of the pattern space after a run.
    std::size_t text_length() const { return static_cast<std::size_t>(m_end); }
    // Lines counted so far.
    long line_counter() const { return m_lineCounter; }
    // True when the last run ended by deleting its text: d, D with no newline left, c inside a
    // range, or n at the end of input (which has already written the text).  A stream editor prints
    // nothing for such a line, while an empty result of any other run is an empty line.  False
    // after a run that failed or quit.  The expression functions do not use it.
    bool ended_by_delete() const { return m_deleted; }

    [[noreturn]] void quit(int code);
    void raise_exception() {}
    // Formats into printBuffer and writes the text to the file (slot 0: the output sink).
    // Characters written, or -1 when the text does not fit.
    int pr(int file, const char *format, ...) __attribute__((format(printf, 3, 4)));
    // Writes text with unprintable characters escaped, then a newline.
    void listto(const char *text, int file);

    // Where standard-output writes go; the default writes to the process's standard output.
    // "w /dev/stdout" writes there too.
    void set_output(OutputSink sink, void *context);
    // Where "w /dev/stderr" writes go; the default flushes the process's standard output and
    // writes to its standard error.
    void set_error_output(OutputSink sink, void *context);

    // Steps one search takes before it remembers failed states; a negative value restores the
    // default of about four steps per text position.  For tests and tuning.
    void set_memo_threshold(long steps) { m_memoThreshold = steps; }
    // Work units of one run (a quarter of them for one search); a negative value restores
    // workBudget.  For tests and tuning.
    void set_work_budget(long units) { m_workBudget = units; }

    static constexpr long workBudget = 1L << 28;
    static constexpr long searchShare = workBudget / 4;
    static constexpr long charactersPerUnit = 16;
    static constexpr long commandUnits = 4;

    // Command codes of the compiled program.
    enum : std::uint8_t {
        cmdNone = 0,
        cmdEquals,
        cmdAppend,
        cmdBranch,
        cmdChange,
        cmdDelete,
        cmdDeleteFirst,
        cmdGet,
        cmdGetAppend,
        cmdHold,
        cmdHoldAppend,
        cmdInsert,
        cmdList,
        cmdNext,
        cmdNextAppend,
        cmdPrint,
        cmdPrintFirst,
        cmdQuit,
        cmdRead,
        cmdSubstitute,
        cmdTest,
        cmdTestNot,
        cmdWrite,
        cmdWriteFirst,
        cmdExchange,
        cmdTransliterate
    };
    // Opcodes of compiled REs and addresses; a starred item is its opcode plus one.
    enum : std::uint8_t {
        opChar = 2,
        opCharStar,
        opAny,
        opAnyStar,
        opClass,
        opClassStar,
        opEndOfText = 10,
        opGroupStart = 12,
        opGroupEnd = 14,
        opBackReference = 16,
        opBackReferenceStar,
        opLineNumber = 18,
        opLastLine = 20,
        opEnd = 22
    };

private:
    static constexpr int noAddress = -2;
    static constexpr int recordUsed = 0;
    static constexpr int recordUnused = 1;
    static constexpr int reHasBackReference = 2; // bit of the anchor byte
    // A compiled RE: the anchor byte, then what the matcher's quick paths use (reFlags to
    // reLeadingBefore), the first-character set (when reFirstFilter) and the set of characters a
    // match of an RE ending in "$" ends with (when reLastFilter), the anchor byte again, the items
    // from reItemsAt on, and after them the characters of the required literal: the longest run
    // of literal characters every match holds, with how many characters every match holds before
    // it (exactly that many when reLiteralExact).
    static constexpr int reFlags = 1;
    static constexpr int reFirstFilter = 1; // bits of reFlags
    static constexpr int reLastFilter = 2;
    static constexpr int reLiteralExact = 4;
    static constexpr int reItemsAt = 2;
    static constexpr int reLiteralAt = 3; // two bytes: offset of the literal from the RE's start
    static constexpr int reLiteralLength = 5;
    static constexpr int reLiteralBefore = 6;
    // The starred item whose run a failed start may skip (its offset plus one; 0: none) and the
    // characters before it: "X*..." and "XX*..." (the same X).
    static constexpr int reLeadingRun = 7;
    static constexpr int reLeadingBefore = 8;
    // What every match holds, checked before a search (two bytes: offset from the RE's start):
    // the minimum length (two bytes), a count of characters and that many (character, copies)
    // pairs, a count of classes and that many 16-byte sets.
    static constexpr int reRequiredAt = 9;
    static constexpr int reMinLength = 11; // two bytes: the minimum length again, for the quick check
    static constexpr int reFixedHeader = 13;
    static constexpr int reMaxHeader = reFixedHeader + 16 + 16 + 1;
    static constexpr int maxLiteral = maxReBytes / 2;
    static constexpr int requiredCharacters = 8;
    static constexpr int requiredClasses = 2;
    static constexpr int maxRequired = 2 + 1 + 2 * requiredCharacters + 1 + 16 * requiredClasses;
    static constexpr int reCostly = 8;        // bit of reFlags: back-references or two starred items
    static constexpr int reWholeLiteral = 16; // bit of reFlags: the RE is its literal and nothing else
    static constexpr int reHasGroups = 32;    // bit of reFlags: the RE has groups
    // The table of y maps all 256 bytes.  When it changes at most yListMax characters,
    // table[yListMark] is 0 instead of 255 (bytes above 127 map to themselves), table[yListCount]
    // holds their number and the (character, replacement) pairs follow from yListAt.
    static constexpr int yListMark = 255;
    static constexpr int yListCount = 128;
    static constexpr int yListAt = 129;
    static constexpr int yListMax = 8;
    static constexpr int errorSinkFile = -2;    // write-file slot of "/dev/stderr"
    static constexpr int replacementEscape = 1; // marks an escaped character in a replacement

    struct cmd_t {
        std::int32_t firstAddress;  // offset in textPool, -1: every line
        std::int32_t secondAddress; // offset in textPool, -1: no range
        std::int32_t argument;      // pool offset or command index by code; -1: none
        std::int32_t replacement;   // s: offset in textPool
        std::uint8_t code;
        std::uint8_t outputFile; // write-file slot plus one; 0: none
        std::uint8_t negated;
        std::uint8_t global;
        std::uint8_t printMode;
        std::uint8_t inRange;
    };
    struct label {
        std::int32_t name;           // offset in textPool, -1: none
        std::int32_t firstReference; // command index, -1: none; chained through argument
        std::int32_t definition;     // command index, -1: undefined
    };
    // Everything a context slot holds.  The small parts come first and the tables after them,
    // so that a short program and text touch only the first pages of each table.
    struct Program {
        int nextLabel;
        int poolPointer;
        int cursor;
        int currentCommand;
        int lastRE;
        int braceDepth;
        int groupCount;
        int braceStack[braceLimit];
        int scriptState;
        int pendingLine;
        char errorString[errorSize];
        int status;
        label labelTable[labelCount];
        alignas(64) char patternSpace[maxText + 1];
        cmd_t commands[commandCount + 1];
        int lineNumberTable[lineNumberCount];
        unsigned char textPool[poolSize];
    };

    // Compiler steps.
    void compileScript(const char *script);
    void compile();
    int cmdline(char *buffer);
    int address(int out);
    int takeAddress(int start, int after);
    int cmdcomp(int letter);
    int recomp(int out, int delimiter);
    bool compileClass(unsigned char *item);
    static bool firstCharacters(const unsigned char *items, unsigned char *set);
    static int requiredLiteral(const unsigned char *items, unsigned char *literal, int &before, bool &exact);
    static int leadingRun(const unsigned char *items, int &before);
    static int requirements(const unsigned char *items, const unsigned char *literal, int literalLength,
                            unsigned char *out, bool &costly);
    // Whether the text from start holds the required characters (and classes, when asked).
    bool requirementsHold(const unsigned char *required, int start, bool classes) const;
    static bool lastCharacters(const unsigned char *items, unsigned char *set);
    int finishRe(unsigned char *head, int n);
    int rhscomp(int out, int delimiter);
    int ycomp(int out, int delimiter);
    int _gettext(int out);
    int labelName(int out);
    label *search(const char *name);
    label &newLabel(int name);
    int commandDelimiter();
    void resolve();
    [[noreturn]] void fail(const char *message);
    [[noreturn]] void fail(const char *message, const char *argument);
    // The argument of a message as shown in it: at most shownLength characters (longer ones cut
    // with "..."), control characters as "?".
    const char *shown(const char *argument);
    void checkPool(int position);
    void put(int position, int byte);
    void nextRecord();
    void branchLabel(cmd_t &command);
    int openWriteFile();
    void skipBlanks();

    // Executor steps.
    void load(const char *text, std::size_t length);
    [[noreturn]] void runsTooLong();
    long runBudget() const { return m_workBudget >= 0 ? m_workBudget : workBudget; }
    // Brent's cycle check at each branch taken: true when the run is back in the state it was in
    // at the last checkpoint, so that it would repeat for ever.
    bool loopsForEver(int pc, long jumps);
    bool selected(cmd_t &command);
    bool matchAddress(int address);
    static constexpr int liveGroupLimit = 4; // groups a remembered state can depend on
    struct Signature {
        int count;
        std::uint32_t words[liveGroupLimit];
    };
    struct MemoEntry {
        std::uint32_t generation;
        std::uint16_t item;
        std::uint16_t position;
        std::uint32_t groups[liveGroupLimit];
    };
    struct CanonEntry {
        std::uint64_t hash;
        std::uint32_t generation;
        std::uint16_t length;
        std::uint16_t start;
    };
    bool match(int re, bool continuation);
    void beginMatch(const unsigned char *head);
    const unsigned char *findLiteral(int from, const unsigned char *literal, int length) const;
    const unsigned char *findLongLiteral(int from, const unsigned char *literal, int length) const;
    int lastLiteral(int from, const unsigned char *literal, int length);
    bool tryAt(int position);
    bool literalMatch(int position, int length);
    int nextStart(int position) const;
    int nextInRange(const unsigned char *text, int position, int last) const;
    void prepareQuick();
    bool advance(int position, int item);
    bool star(int low, int run, int item, int next);
    int measureRun(int item, int position, int character);
    int passUnwanted(int length, int low, int item, bool spans, int wanted);
    void stepLimitReached();
    void enableMemo();
    void prepareGroupMemory();
    std::uint32_t canonicalContent(int group);
    // Where a state is remembered: its bit (slot null), or a slot of the table and the
    // signature of the groups it depends on.
    struct MemoKey {
        MemoEntry *slot;
        Signature signature;
    };
    bool groupSignature(int item, Signature &signature);
    static bool sameGroups(const std::uint32_t *words, const Signature &signature);
    bool lookUpFailure(int item, int position, MemoKey &key);
    void rememberFailure(int item, int position, MemoKey &key, bool looked);
    void prepareHashPowers(int count);
    MemoEntry &memoSlot(std::uint64_t hash);
    CanonEntry &canonSlot(std::uint64_t hash);
    int itemLength(int item) const;
    void transliterate(const unsigned char *table);
    bool substitute(const cmd_t &command);
    bool dosub(int replacement);
    void command(cmd_t &command);
    void queue(const cmd_t &command, const char *message);
    void setText(const char *text);
    void writeLine(int file, const char *data, int length);
    static int copyText(char *destination, const char *source, int length);
    // Appends to the pattern or hold space (end: its length), cut at maxText characters.
    void appendTo(char *space, int &end, const char *data, int length);
    void readout();
    void truncated();
    int getline(char *destination, int capacity);
    int get();
    bool openfile();
    static bool Memcmp(const char *a, const char *b, int length);
    void emit(int file, const char *data, std::size_t length);
    void setError(const char *format, ...) __attribute__((format(printf, 2, 3)));

    // The data members.  Storage the engine may never use costs nothing until it is used: the
    // small state comes first, then the program and texts, then the matcher's tables, which are
    // cleared lazily (a generation stamp per search, chunks cleared on first use), and last the
    // context slots, never written until a context is saved.

    // Compile-side state.
    bool m_compiling = false;
    int m_commandStart = -1; // where the command being compiled starts in its line
    int m_lineNumbersUsed = 0;
    int m_commandsUsed = 0; // records and pool bytes the program in m_prog has written
    int m_poolUsed = 0;
    int m_writeFiles[writeFileCount];
    int m_writeFileCount = 1;
    static constexpr int shownLength = 40;
    char m_shown[shownLength + 1];

    // Executor state.
    int m_end = 0; // terminator of the pattern space
    int m_holdEnd = 0;
    int m_matchStart = 0;
    int m_matchEnd = 0;
    int m_continuationStart = -1;
    int m_built = 0;  // length of the result built by a substitution
    int m_copied = 0; // text copied into it up to here
    int m_groupStart[9];
    int m_groupEnd[9];
    int m_appendQueue[queueSize];
    int m_queueCount = 0;
    long m_lineCounter = 0;
    bool m_lastLineFlag = false;
    bool m_substituted = false;
    bool m_keep = false;    // c ended the cycle with its text
    bool m_deleted = false; // the last run ended by deleting its text
    int m_rangeChanges = 0; // ranges opened or closed, part of the state loopsForEver compares
    // The state at the last checkpoint of loopsForEver.
    long m_loopMark = 0;
    int m_loopPc = -1;
    int m_loopEnd = 0;
    int m_loopHoldEnd = 0;
    int m_loopQueue = 0;
    int m_loopRanges = 0;
    bool m_loopSubstituted = false;
    int m_jump = 0;
    int m_delete = 0;
    int m_lookahead = -1;

    // Matcher state.
    int m_canonFrom[9];
    int m_canonTo[9];
    std::uint32_t m_canonValue[9];
    std::uint32_t m_memoGeneration = 0;
    int m_literalLast = -2; // last occurrence of the required literal; -2: not searched yet
    int m_givenItem = -1;   // the item whose signature a star computed for the next attempt
    Signature m_givenSignature;
    std::uint32_t m_generation = 0;
    bool m_matcherReady = false; // the generation stamps below were cleared once
    int m_hashPowersReady = 0;   // entries of m_hashPower computed
    std::uint64_t m_memoChunksReady[2] = {};
    std::uint32_t m_canonChunksReady = 0;
    const unsigned char *m_re = nullptr;
    int m_memoItems = 0;
    bool m_reHasBackReference = false;
    int m_leadItem = -1;       // reLeadingRun of the RE searched, less one, when starts may skip
    int m_leadBefore = 0;      // reLeadingBefore
    bool m_quickKnown = false; // prepareQuick ran for this search
    int m_quickFollower = -1;  // the character a match needs right after its leading run, or -1
    int m_quickItem = 0;       // ... the run's starred item
    int m_quickBefore = 0;     // ... and the characters before it
    int m_firstLow = -1;       // the first-character set is the range m_firstLow..m_firstHigh
    int m_firstHigh = -1;
    bool m_memoOn = false;
    const unsigned char *m_reHead = nullptr; // the compiled RE searched, from its anchor byte
    bool m_ruledOut = false;                 // the search cannot match: it unwinds without trying more
    bool m_groupMemoOff = false;             // states with group contents are not remembered in this search
    long m_groupLookups = 0;
    long m_groupHits = 0;
    long m_groupCheckAt = 0;
    long m_steps = 0;
    long m_runUnits = 0; // work of the run so far, the current search's steps apart
    long m_stepLimit = 0;
    long m_stepBudget = 0;
    bool m_budgetOfRun = false; // the search's budget is what is left of the run's
    long m_memoThreshold = -1;
    long m_workBudget = -1;

    OutputSink m_sink = nullptr;
    void *m_sinkContext = nullptr;
    OutputSink m_errorSink = nullptr;
    void *m_errorSinkContext = nullptr;
    int m_contextsInUse = 0;
    int m_currentContext = 0;

    // The program and the texts.
    Program m_prog;
    char m_scriptBuffer[scriptBufferSize];
    alignas(64) char m_holdSpace[maxText + 1];
    alignas(64) char m_substitutionBuffer[maxText + 1];

    // Per item of the RE searched.  Runs and spans are valid for the match call whose generation
    // they carry.
    std::uint32_t m_runGeneration[maxReBytes];
    std::uint32_t m_spanGeneration[maxReBytes];
    std::uint32_t m_spanMemoGeneration[maxReBytes];
    int m_spanLow[maxReBytes];
    int m_spanHigh[maxReBytes];
    int m_runFrom[maxReBytes];              // a run of a starred item measured from here ...
    int m_runEnd[maxReBytes];               // ... ends here
    int m_runByte[maxReBytes];              // ... for this character (-1: the item's class)
    std::uint16_t m_liveClosed[maxReBytes]; // groups whose content a state depends on
    std::uint16_t m_liveOpen[maxReBytes];   // groups whose start a state depends on
    Signature m_spanSignature[maxReBytes];

    // Matcher memory, switched on once a search has taken more steps than a few per text
    // position: failed (item, position) states, one bit each where no group read later is set
    // yet, else with the contents of those groups in a table of recent failures.  A search then
    // costs about items x text length steps for REs without back-references.  The tables are
    // cleared in chunks when first used after their generation counter wrapped (or ever).
    static constexpr int memoWords = (maxText + 2 + 63) / 64;
    static constexpr int memoEntries = 1 << 14;
    static constexpr int memoChunk = 128; // entries cleared at once
    static constexpr int canonEntries = 1 << 12;
    static constexpr int canonChunk = 128;
    std::uint64_t m_failed[maxReBytes][memoWords];
    MemoEntry m_memo[memoEntries];
    CanonEntry m_canon[canonEntries];
    std::uint64_t m_prefixHash[maxText + 2];
    std::uint64_t m_hashPower[maxText + 2];

    char m_printBuffer[printBufferSize + 2];
    char m_writeFileNames[writeFileCount][256];
    char m_loopText[2 * (maxText + 1)]; // pattern space and hold space at the checkpoint

    Program m_contextSlots[contextCount];
};
