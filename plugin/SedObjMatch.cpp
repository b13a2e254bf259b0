// The RE matcher of SedObj: backtracking over the compiled items, with quick paths in front of it
// (the required literal, the first-character filter), a memory of failed states behind it, and a
// bound on its work.
//
// Work is counted in steps: one per attempt of the rest of the RE at a position, plus one per 8
// characters a star scans, one per copy a starred back-reference takes and one per 128 characters
// a back-reference compares (memcmp is that much faster than a byte loop), so that a step costs
// about the same time whatever the RE.  A starred back-reference to one character is tried as a
// run of that character.  After a few steps per text position the matcher starts to remember
// failed states; after stepsPerCharacter steps per position (plus stepAllowance) it gives up with
// "sed: RE too complex\n" (code 2), never with a wrong answer.
#include "SedObj.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

bool inSet(const unsigned char *set, unsigned char c)
{
    // Sets hold 7-bit characters.  Character 0 is never a member, so its bit marks a negated set,
    // whose members are also all bytes above 127.
    if (c > 127)
        return set[0] & 1;
    return c != 0 && ((set[c >> 3] >> (c & 7)) & 1);
}

// Polynomial hashes of texts modulo 2^61 - 1: they only decide which remembered contents are
// compared byte by byte, so a collision costs time, never a wrong answer.
constexpr std::uint64_t hashModulus = (std::uint64_t{1} << 61) - 1;
constexpr std::uint64_t hashBase = 0x1f3d5b79a3c4e5d7ull % hashModulus;

std::uint64_t reduce(unsigned __int128 value)
{
    std::uint64_t r =
        static_cast<std::uint64_t>(value & hashModulus) + static_cast<std::uint64_t>(value >> 61);
    r = (r & hashModulus) + (r >> 61);
    return r >= hashModulus ? r - hashModulus : r;
}

std::uint64_t mulMod(std::uint64_t a, std::uint64_t b)
{
    return reduce(static_cast<unsigned __int128>(a) * b);
}

std::uint64_t mix(std::uint64_t h, std::uint64_t value)
{
    h ^= value + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
    return h * 0xff51afd7ed558ccdull;
}

// Whether the set is one range of characters low..high (a negated set never is).
bool rangeOf(const unsigned char *set, int &low, int &high)
{
    std::uint64_t lower;
    std::uint64_t upper;
    std::memcpy(&lower, set, 8);
    std::memcpy(&upper, set + 8, 8);
    if ((lower & 1) || (lower | upper) == 0)
        return false;
    const unsigned __int128 bits = static_cast<unsigned __int128>(upper) << 64 | lower;
    low = lower ? __builtin_ctzll(lower) : 64 + __builtin_ctzll(upper);
    const unsigned __int128 run = bits >> low;
    if (run & (run + 1))
        return false;
    high = low + __builtin_popcountll(lower) + __builtin_popcountll(upper) - 1;
    return true;
}

} // namespace

inline int SedObj::nextInRange(const unsigned char *text, int pos, int last) const
{
    // The first position from pos to last whose character lies in the first-character range,
    // else last + 1; sixteen positions at a time.
    const unsigned low = static_cast<unsigned>(m_firstLow);
    const unsigned width = static_cast<unsigned>(m_firstHigh - m_firstLow);
#ifdef __SSE2__
    const __m128i base = _mm_set1_epi8(static_cast<char>(low));
    const __m128i span = _mm_set1_epi8(static_cast<char>(width));
    for (; pos + 15 <= last; pos += 16) {
        const __m128i offset =
            _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(text + pos)), base);
        const unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(offset, span), span)));
        if (mask)
            return pos + __builtin_ctz(mask);
    }
#endif
    for (; pos <= last; ++pos)
        if (text[pos] - low <= width)
            return pos;
    return last + 1;
}

void SedObj::prepareHashPowers(int count)
{
    // Computed as far as the longest text searched so far needs.
    if (m_hashPowersReady == 0) {
        m_hashPower[0] = 1;
        m_hashPowersReady = 1;
    }
    for (; m_hashPowersReady < count; ++m_hashPowersReady)
        m_hashPower[m_hashPowersReady] = mulMod(m_hashPower[m_hashPowersReady - 1], hashBase);
}

SedObj::MemoEntry &SedObj::memoSlot(std::uint64_t hash)
{
    // The table is cleared a chunk at a time when a chunk is first used after the memo generation
    // started over, so that an engine whose searches never remember much touches little of it.
    const int index = static_cast<int>((hash >> 40) & (memoEntries - 1));
    const int chunk = index / memoChunk;
    std::uint64_t &ready = m_memoChunksReady[chunk >> 6];
    if (!((ready >> (chunk & 63)) & 1)) {
        std::memset(m_memo + chunk * memoChunk, 0, sizeof(MemoEntry) * memoChunk);
        ready |= std::uint64_t{1} << (chunk & 63);
    }
    return m_memo[index];
}

SedObj::CanonEntry &SedObj::canonSlot(std::uint64_t hash)
{
    const int index = static_cast<int>((hash >> 40) & (canonEntries - 1));
    const int chunk = index / canonChunk;
    if (!((m_canonChunksReady >> chunk) & 1)) {
        std::memset(m_canon + chunk * canonChunk, 0, sizeof(CanonEntry) * canonChunk);
        m_canonChunksReady |= std::uint32_t{1} << chunk;
    }
    return m_canon[index];
}

int SedObj::itemLength(int item) const
{
    switch (m_re[item]) {
    case opClass:
    case opClassStar:
        return 17;
    case opAny:
    case opAnyStar:
    case opEndOfText:
    case opEnd:
        return 1;
    default:
        return 2;
    }
}

inline bool SedObj::Memcmp(const char *a, const char *b, int length)
{
    // Back-references are mostly a character or two: those are compared without a call.
    if (length <= 2)
        return length <= 0 || (a[0] == b[0] && (length == 1 || a[1] == b[1]));
    return std::memcmp(a, b, static_cast<std::size_t>(length)) == 0;
}

void SedObj::beginMatch(const unsigned char *head)
{
    m_runUnits += m_steps;
    m_steps = 0;
    m_re = head + head[reItemsAt];
    m_reHead = head;
    m_ruledOut = false;
    m_reHasBackReference = (head[0] & reHasBackReference) != 0;
    m_memoOn = false;
    const long positions = m_end + 1;
    // A search may take its share of the run's budget, or what is left of it when that is less.
    const long budget = runBudget();
    const long share = budget >> 2; // the budget is not negative
    const long left = budget - m_runUnits;
    m_budgetOfRun = left < share;
    m_stepBudget = m_budgetOfRun ? left : share;
    const long threshold = m_memoThreshold >= 0 ? m_memoThreshold : 4 * positions + 256;
    m_stepLimit = threshold < m_stepBudget ? threshold : m_stepBudget;
    // An RE that is only its literal (no groups, no items to walk) needs nothing more.
    if (head[reFlags] & reWholeLiteral)
        return;
    m_leadItem = head[reLeadingRun] - 1;
    m_leadBefore = head[reLeadingBefore];
    // A first-character set that is one range of characters is looked for sixteen at a time.
    m_firstLow = -1;
    if ((head[reFlags] & reFirstFilter) && !(head[0] & 1)
        && !rangeOf(head + reFixedHeader, m_firstLow, m_firstHigh))
        m_firstLow = -1;
    m_quickKnown = false;
    m_literalLast = -2;
    if (!m_matcherReady) {
        // The generation stamps start cleared on the first search.
        std::memset(m_runGeneration, 0, sizeof m_runGeneration);
        std::memset(m_spanGeneration, 0, sizeof m_spanGeneration);
        std::memset(m_spanMemoGeneration, 0, sizeof m_spanMemoGeneration);
        m_matcherReady = true;
    }
    if (++m_generation == 0) {
        // The generation counter wrapped: forget every remembered run and span.
        std::memset(m_runGeneration, 0, sizeof m_runGeneration);
        std::memset(m_spanGeneration, 0, sizeof m_spanGeneration);
        m_generation = 1;
    }
    // Groups start empty; an RE without groups has no group a replacement could read.
    if (head[reFlags] & reHasGroups) {
        for (int i = 0; i < 9; ++i)
            m_groupStart[i] = m_groupEnd[i] = 0;
    }
}

inline const unsigned char *SedObj::findLiteral(int from, const unsigned char *literal, int length) const
{
    if (from + length > m_end)
        return nullptr;
    if (length == 1)
        return static_cast<const unsigned char *>(
            std::memchr(m_prog.patternSpace + from, literal[0], static_cast<std::size_t>(m_end - from)));
    return findLongLiteral(from, literal, length);
}

void SedObj::prepareQuick()
{
    // The RE starts (after group starts) with "X*" or "XX*" and needs c right after that run
    // (group marks between consume nothing), c not an X: m_quickFollower is c, else -1.
    m_quickKnown = true;
    m_quickFollower = -1;
    int i = 0;
    while (m_re[i] == opGroupStart)
        i += 2;
    int star = -1;
    int before = 0;
    if (m_re[i] == opCharStar || m_re[i] == opClassStar) {
        star = i;
    } else if (m_re[i] == opChar && m_re[i + 2] == opCharStar && m_re[i + 1] == m_re[i + 3]) {
        star = i + 2;
        before = 1;
    } else if (m_re[i] == opClass && m_re[i + 17] == opClassStar
               && std::memcmp(m_re + i + 1, m_re + i + 18, 16) == 0) {
        star = i + 17;
        before = 1;
    }
    if (star < 0)
        return;
    int after = star + itemLength(star);
    while (m_re[after] == opGroupStart || m_re[after] == opGroupEnd)
        after += 2;
    if (m_re[after] != opChar)
        return;
    const unsigned char c = m_re[after + 1];
    if (m_re[star] == opCharStar ? m_re[star + 1] == c : inSet(m_re + star + 1, c))
        return;
    m_quickFollower = c;
    m_quickItem = star;
    m_quickBefore = before;
}

#ifdef __SSE2__
namespace {

// The starts among the sixteen from at whose first character is the literal's first one and
// whose character length - 1 further on is its last one, one bit each.
inline unsigned candidateStarts(const unsigned char *at, int length, __m128i first, __m128i last)
{
    const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + length - 1));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads, first), _mm_cmpeq_epi8(tails, last))));
}

} // namespace
#endif

const unsigned char *SedObj::findLongLiteral(int from, const unsigned char *literal, int length) const
{
    const unsigned char *text = reinterpret_cast<const unsigned char *>(m_prog.patternSpace);
    // Texts are short and literals a few characters long: the general substring search spends
    // more on its set-up than on the text.  Sixteen starts at a time are tested for the first
    // and the last character of the literal, and only starts holding both are compared in full.
    const int lastStart = m_end - length; // the last start the literal fits at
    const int middle = length - 2;
    auto holdsMiddle = [literal, middle](const unsigned char *at) {
        for (int i = 0; i < middle; ++i)
            if (at[i] != literal[i + 1])
                return false;
        return true;
    };
#ifdef __SSE2__
    if (lastStart - from >= 15) {
        const __m128i first = _mm_set1_epi8(static_cast<char>(literal[0]));
        const __m128i last = _mm_set1_epi8(static_cast<char>(literal[length - 1]));
        for (int at = from;;) {
            unsigned mask;
            int base = at;
            if (at + 31 <= lastStart) {
                mask = candidateStarts(text + at, length, first, last)
                       | candidateStarts(text + at + 16, length, first, last) << 16;
                at += 32;
            } else if (at + 15 <= lastStart) {
                mask = candidateStarts(text + at, length, first, last);
                at += 16;
            } else if (at <= lastStart) {
                // The last block ends at the last start and may overlap the one before it: its
                // starts already tested are left out.
                base = lastStart - 15;
                mask = candidateStarts(text + base, length, first, last) & (~0u << (at - base));
                at = lastStart + 1;
            } else {
                return nullptr;
            }
            for (; mask; mask &= mask - 1) {
                const int start = base + __builtin_ctz(mask);
                if (holdsMiddle(text + start + 1))
                    return text + start;
            }
        }
    }
#endif
    for (int at = from; at <= lastStart; ++at) {
        const void *hit = std::memchr(text + at, literal[0], static_cast<std::size_t>(lastStart - at + 1));
        if (!hit)
            return nullptr;
        at = static_cast<int>(static_cast<const unsigned char *>(hit) - text);
        if (text[at + length - 1] == literal[length - 1] && holdsMiddle(text + at + 1))
            return text + at;
    }
    return nullptr;
}

int SedObj::lastLiteral(int from, const unsigned char *literal, int length)
{
    // The text does not change between the calls of one global substitution, so the last
    // occurrence is searched once per command.
    if (m_literalLast == -2) {
        m_literalLast = -1;
        const char *text = m_prog.patternSpace;
        for (int limit = m_end - length + 1; limit > 0;) {
            const void *hit = memrchr(text, literal[0], static_cast<std::size_t>(limit));
            if (!hit)
                break;
            const int at = static_cast<int>(static_cast<const char *>(hit) - text);
            if (std::memcmp(text + at + 1, literal + 1, static_cast<std::size_t>(length - 1)) == 0) {
                m_literalLast = at;
                break;
            }
            limit = at;
        }
    }
    return m_literalLast >= from ? m_literalLast : -1;
}

inline bool SedObj::literalMatch(int position, int length)
{
    // The literal was found at position: that is the match.  It costs the one step an attempt
    // of the items would take.
    if (++m_steps > m_stepLimit) {
        stepLimitReached();
        if (m_ruledOut)
            return false;
    }
    m_matchEnd = position + length;
    return true;
}

bool SedObj::match(int re, bool continuation)
{
    const unsigned char *head = m_prog.textPool + re;
    const bool anchored = (head[0] & 1) != 0;
    int start = 0;
    if (!continuation) {
        m_continuationStart = -1;
        beginMatch(head);
    } else {
        // A repeated search of a global substitution goes on with the same text, RE, remembered
        // states and work bound.
        if (anchored)
            return false;
        start = m_matchEnd;
        m_continuationStart = m_matchEnd;
    }
    // Setting up a search takes the time of a few steps, whatever the RE.
    m_steps += 4;

    const unsigned char *text = reinterpret_cast<const unsigned char *>(m_prog.patternSpace);
    const int end = m_end;
    const int flags = head[reFlags];
    // What every match holds: the length always (it costs nothing), the characters and classes
    // once per search when the search may be long.
    if (end - start < (head[reMinLength] | head[reMinLength + 1] << 8))
        return false;
    // REs with back-references may take long on a text that lacks something every match holds,
    // so they check the required characters (a few memchr calls) before searching; the classes,
    // which take a byte loop, and for other REs everything, are checked only when the search
    // turns out long (see stepLimitReached), which keeps short searches as quick as they were.
    if (!continuation && (flags & reCostly) && (head[0] & reHasBackReference)
        && !requirementsHold(head + (head[reRequiredAt] | head[reRequiredAt + 1] << 8), start, false))
        return false;
    const bool filtered = (flags & reFirstFilter) != 0;
    const unsigned char *first = head + reFixedHeader;
    const int literalLength = head[reLiteralLength];
    const unsigned char *literal = head + (head[reLiteralAt] | head[reLiteralAt + 1] << 8);
    const int before = head[reLiteralBefore];
    const bool exact = (flags & reLiteralExact) != 0;
    // An RE ending in "$" whose match cannot end with the text's last character fails at once.
    if ((flags & reLastFilter) && (end <= start || !inSet(filtered ? first + 16 : first, text[end - 1])))
        return false;

    if (anchored) {
        // A text that cannot match costs one comparison in most cases.
        if (filtered && (start >= end || !inSet(first, text[start])))
            return false;
        if (literalLength) {
            if (exact ? start + before + literalLength > end
                            || std::memcmp(text + start + before, literal,
                                           static_cast<std::size_t>(literalLength))
                                   != 0
                      : !findLiteral(start + before, literal, literalLength))
                return false;
        }
        if (!((flags & reWholeLiteral) ? literalMatch(start, literalLength) : tryAt(start)))
            return false;
        m_matchStart = start;
        return true;
    }
    if (flags & reWholeLiteral) {
        const unsigned char *hit = findLiteral(start, literal, literalLength);
        if (!hit || !literalMatch(static_cast<int>(hit - text), literalLength))
            return false;
        m_matchStart = static_cast<int>(hit - text);
        return true;
    }
    if (literalLength && exact) {
        // Every match holds the literal at the same distance from its start: only the places
        // where the literal occurs are tried.
        for (int from = start + before;;) {
            const unsigned char *hit = findLiteral(from, literal, literalLength);
            if (!hit)
                return false;
            const int pos = static_cast<int>(hit - text) - before;
            if ((before == 0 || !filtered || inSet(first, text[pos])) && tryAt(pos)) {
                m_matchStart = pos;
                return true;
            }
            if (m_ruledOut)
                return false;
            from = nextStart(pos) + before;
        }
    }
    int last = end;
    if (literalLength) {
        // A match holds the literal at least `before` characters after its start, so no match
        // starts after its last occurrence, and none at all without one.
        const int occurrence = lastLiteral(start + before, literal, literalLength);
        if (occurrence < 0)
            return false;
        last = occurrence - before;
    }
    if (filtered) {
        // Only positions holding a byte a match can begin with are tried.
        if (last > end - 1)
            last = end - 1;
        // "X*c..." and "XX*c..." where c is not an X (see prepareQuick): a match needs c right
        // after the run of X from its start (after its first X).  A start without it is passed
        // over with the whole run, whose starts all fail alike, and with the steps the attempt
        // would have taken; near the step limit, or once failures are remembered, starts are
        // tried as usual.
        if (!m_quickKnown)
            prepareQuick();
        const int quick = m_quickFollower;
        const unsigned char *leadSet =
            quick >= 0 && m_re[m_quickItem] == opClassStar ? m_re + m_quickItem + 1 : nullptr;
        const int leadCharacter = quick >= 0 ? m_re[m_quickItem + 1] : -1;
        for (int pos = start; pos <= last;) {
            if (!inSet(first, text[pos])) {
                // Short gaps between candidates are stepped over; longer ones searched.
                ++pos;
                if (m_firstLow >= 0 && pos <= last && !inSet(first, text[pos]))
                    pos = nextInRange(text, pos + 1, last);
                continue;
            }
            if (quick >= 0 && !m_memoOn) {
                const int from = pos + m_quickBefore;
                int runEnd = from;
                if (leadSet) {
                    while (runEnd < end && inSet(leadSet, text[runEnd]))
                        ++runEnd;
                } else {
                    while (runEnd < end && text[runEnd] == leadCharacter)
                        ++runEnd;
                }
                if (runEnd == end || text[runEnd] != quick) {
                    const long cost = 1 + ((runEnd - from) >> 3) + (runEnd > from ? runEnd - from + 1 : 0);
                    if (m_steps + cost <= m_stepLimit) {
                        m_steps += cost;
                        pos = m_quickBefore ? runEnd : runEnd + 1;
                        continue;
                    }
                }
            }
            if (tryAt(pos)) {
                m_matchStart = pos;
                return true;
            }
            if (m_ruledOut)
                return false;
            pos = nextStart(pos);
        }
        return false;
    }
    for (int pos = start; pos <= last;) {
        if (tryAt(pos)) {
            m_matchStart = pos;
            return true;
        }
        if (m_ruledOut)
            return false;
        pos = nextStart(pos);
    }
    return false;
}

bool SedObj::requirementsHold(const unsigned char *required, int start, bool classes) const
{
    const char *text = m_prog.patternSpace;
    const int characters = required[2];
    const unsigned char *pair = required + 3;
    for (int k = 0; k < characters; ++k, pair += 2) {
        const char *from = text + start;
        const char *const stop = text + m_end;
        for (int copies = pair[1]; copies > 0; --copies) {
            const void *hit = std::memchr(from, pair[0], static_cast<std::size_t>(stop - from));
            if (!hit)
                return false;
            from = static_cast<const char *>(hit) + 1;
        }
    }
    const int classCount = classes ? *pair : 0;
    const unsigned char *set = pair + 1;
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
    for (int k = 0; k < classCount; ++k, set += 16) {
        int i = start;
        while (i < m_end && !inSet(set, bytes[i]))
            ++i;
        if (i == m_end)
            return false;
    }
    return true;
}

int SedObj::nextStart(int position) const
{
    // A start that failed with a leading run has tried the rest of the RE after every length of
    // that run (see leadingRun): the next start worth trying is past it.  For ".*" the run is the
    // rest of the text.
    if (m_leadItem < 0)
        return position + 1;
    const int from = position + m_leadBefore;
    int runEnd;
    if (m_re[m_leadItem] == opAnyStar) {
        if (from > m_end)
            return position + 1;
        runEnd = m_end;
    } else if (m_runGeneration[m_leadItem] == m_generation && m_runFrom[m_leadItem] == from) {
        runEnd = m_runEnd[m_leadItem];
    } else {
        return position + 1;
    }
    // "X*": every start up to the run's end is covered; "XX*": every start inside the run.
    const int next = m_leadBefore ? runEnd : runEnd + 1;
    return next > position + 1 ? next : position + 1;
}

bool SedObj::tryAt(int position)
{
    if (!advance(position, 0))
        return false;
    // After a previous match of a global substitution, an empty match right where that one ended
    // would replace nothing new: it is passed over.
    return !(position == m_continuationStart && m_matchEnd == position);
}

void SedObj::stepLimitReached()
{
    // The first limit checks what every match holds (a search that cannot match ends here, and
    // unwinds at once) and switches the memory of failed states on; the second is the bound.
    if (m_ruledOut)
        return;
    const unsigned char *required = m_reHead + (m_reHead[reRequiredAt] | m_reHead[reRequiredAt + 1] << 8);
    if (!m_memoOn && !requirementsHold(required, m_continuationStart < 0 ? 0 : m_continuationStart, true)) {
        m_ruledOut = true;
        return;
    }
    if (!m_memoOn) {
        enableMemo();
        return;
    }
    if (m_budgetOfRun)
        runsTooLong();
    std::strcpy(m_prog.errorString, "sed: RE too complex\n");
    quit(2);
}

void SedObj::enableMemo()
{
    m_memoOn = true;
    m_groupMemoOff = false;
    m_groupLookups = 0;
    m_groupHits = 0;
    m_groupCheckAt = 1 << 16;
    m_stepLimit = m_stepBudget;
    if (++m_memoGeneration == 0 || m_memoGeneration == 1) {
        // First use, or the counter wrapped: every chunk is cleared again when next used.
        m_memoChunksReady[0] = m_memoChunksReady[1] = 0;
        m_canonChunksReady = 0;
        std::memset(m_spanMemoGeneration, 0, sizeof m_spanMemoGeneration);
        m_memoGeneration = 1;
    }
    const int words = (m_end + 1 + 63) / 64;
    int items = 0;
    while (m_re[items] != opEnd)
        items += itemLength(items);
    m_memoItems = items + 1;
    for (int i = 0; i < m_memoItems; ++i)
        std::memset(m_failed[i], 0, sizeof(std::uint64_t) * static_cast<std::size_t>(words));
    if (m_reHasBackReference)
        prepareGroupMemory();
}

void SedObj::prepareGroupMemory()
{
    // Which groups a state depends on: a group whose text a later back-reference reads.  When
    // the group is closed before the state its content matters, when it is open only its start.
    int startItem[9];
    int endItem[9];
    int lastReference[9];
    for (int g = 0; g < 9; ++g)
        startItem[g] = endItem[g] = lastReference[g] = -1;
    for (int i = 0; i < m_memoItems - 1; i += itemLength(i)) {
        const int op = m_re[i];
        if (op == opGroupStart)
            startItem[m_re[i + 1]] = i;
        else if (op == opGroupEnd)
            endItem[m_re[i + 1]] = i;
        else if (op == opBackReference || op == opBackReferenceStar)
            lastReference[m_re[i + 1]] = i;
    }
    for (int ep = 0; ep < m_memoItems; ++ep) {
        std::uint16_t closed = 0;
        std::uint16_t open = 0;
        for (int g = 0; g < 9; ++g) {
            if (lastReference[g] < ep)
                continue;
            if (endItem[g] < ep)
                closed = static_cast<std::uint16_t>(closed | 1u << g);
            else if (startItem[g] < ep)
                open = static_cast<std::uint16_t>(open | 1u << g);
        }
        m_liveClosed[ep] = closed;
        m_liveOpen[ep] = open;
    }
    // Hashes of every prefix of the text, so that a group's content hashes in constant time.
    prepareHashPowers(m_end + 2);
    const unsigned char *text = reinterpret_cast<const unsigned char *>(m_prog.patternSpace);
    m_prefixHash[0] = 0;
    for (int i = 0; i < m_end; ++i)
        m_prefixHash[i + 1] =
            reduce(static_cast<unsigned __int128>(m_prefixHash[i]) * hashBase + text[i] + 1);
    for (int g = 0; g < 9; ++g)
        m_canonFrom[g] = -1;
}

std::uint32_t SedObj::canonicalContent(int g)
{
    // The content of a closed group as (start, length) of its first recorded occurrence, so that
    // equal contents at different places compare equal; the pair always names text equal to the
    // content.
    const int s = m_groupStart[g];
    const int length = m_groupEnd[g] - s;
    if (length <= 0)
        return 0;
    if (m_canonFrom[g] == s && m_canonTo[g] == m_groupEnd[g])
        return m_canonValue[g];
    const std::uint64_t hash =
        (m_prefixHash[s + length] + hashModulus - mulMod(m_prefixHash[s], m_hashPower[length])) % hashModulus;
    CanonEntry &entry = canonSlot(mix(hash, static_cast<std::uint64_t>(length)));
    int canonical = s;
    if (entry.generation == m_memoGeneration && entry.hash == hash && entry.length == length) {
        if (entry.start != s) {
            m_steps += length >> 7;
            if (std::memcmp(m_prog.patternSpace + s, m_prog.patternSpace + entry.start,
                            static_cast<std::size_t>(length))
                == 0)
                canonical = entry.start;
        }
    } else {
        entry.generation = m_memoGeneration;
        entry.hash = hash;
        entry.length = static_cast<std::uint16_t>(length);
        entry.start = static_cast<std::uint16_t>(s);
    }
    m_canonFrom[g] = s;
    m_canonTo[g] = m_groupEnd[g];
    m_canonValue[g] = static_cast<std::uint32_t>(canonical) | static_cast<std::uint32_t>(length) << 12;
    return m_canonValue[g];
}

bool SedObj::sameGroups(const std::uint32_t *words, const Signature &signature)
{
    // Unused words are 0 in both, and an item's live groups are always the same ones.
    bool same = true;
    for (int i = 0; i < liveGroupLimit; ++i)
        same &= words[i] == signature.words[i];
    return same;
}

bool SedObj::groupSignature(int ep, Signature &signature)
{
    signature = Signature{};
    unsigned closed = m_liveClosed[ep];
    unsigned open = m_liveOpen[ep];
    for (unsigned live = closed | open; live; live &= live - 1) {
        if (signature.count == liveGroupLimit)
            return false;
        const int g = __builtin_ctz(live);
        signature.words[signature.count++] = (closed >> g) & 1
                                                 ? canonicalContent(g)
                                                 : 0x80000000u | static_cast<std::uint32_t>(m_groupStart[g]);
    }
    return true;
}

bool SedObj::lookUpFailure(int ep, int lp, MemoKey &key)
{
    key.slot = nullptr;
    const bool given = m_givenItem == ep;
    m_givenItem = -1;
    if (!m_reHasBackReference || (m_liveClosed[ep] | m_liveOpen[ep]) == 0)
        return (m_failed[ep][lp >> 6] >> (lp & 63)) & 1;
    if (m_groupMemoOff)
        return false;
    if (given) {
        // The star trying this item computed the groups' signature already.
        key.signature = m_givenSignature;
    } else if (!groupSignature(ep, key.signature)) {
        return false;
    }
    std::uint64_t h = mix(static_cast<std::uint64_t>(ep) << 16 | static_cast<std::uint64_t>(lp), 0);
    for (int i = 0; i < key.signature.count; ++i)
        h = mix(h, key.signature.words[i]);
    key.slot = &memoSlot(h);
    const MemoEntry *entry = key.slot;
    const bool hit = entry->generation == m_memoGeneration && entry->item == ep && entry->position == lp
                     && sameGroups(entry->groups, key.signature);
    // A look-up with group contents takes the time of a few steps.  When the states a search
    // meets almost never come back, remembering them only costs time: the memory of states with
    // group contents is then left off for the rest of the search (the results stay the same).
    m_steps += 2;
    m_groupHits += hit;
    if (++m_groupLookups == m_groupCheckAt) {
        if (m_groupHits * 32 < m_groupLookups)
            m_groupMemoOff = true;
        m_groupCheckAt *= 2;
    }
    return hit;
}

void SedObj::rememberFailure(int ep, int lp, MemoKey &key, bool looked)
{
    if (!m_reHasBackReference || (m_liveClosed[ep] | m_liveOpen[ep]) == 0) {
        m_failed[ep][lp >> 6] |= std::uint64_t{1} << (lp & 63);
        return;
    }
    // The groups a state depends on are set before it, so they are still what they were when
    // it was entered.
    if (!looked && lookUpFailure(ep, lp, key))
        return;
    if (!key.slot)
        return;
    // One entry per slot: a newer failure replaces an older one, which is only forgotten.
    MemoEntry *entry = key.slot;
    entry->generation = m_memoGeneration;
    entry->item = static_cast<std::uint16_t>(ep);
    entry->position = static_cast<std::uint16_t>(lp);
    for (int i = 0; i < liveGroupLimit; ++i)
        entry->groups[i] = key.signature.words[i];
}

bool SedObj::advance(int lp, int ep)
{
    const int entryLp = lp;
    const int entryEp = ep;
    MemoKey key;
    const bool looked = m_memoOn;
    if (looked && lookUpFailure(ep, lp, key))
        return false;
    if (++m_steps > m_stepLimit) {
        stepLimitReached();
        if (m_ruledOut)
            return false;
    }
    const unsigned char *text = reinterpret_cast<const unsigned char *>(m_prog.patternSpace);
    const int end = m_end;
    for (;;) {
        const int op = m_re[ep];
        int run = lp;
        int next = ep;
        switch (op) {
        case opChar:
            if (lp < end && text[lp] == m_re[ep + 1]) {
                ++lp;
                ep += 2;
                continue;
            }
            goto failed;
        case opAny:
            if (lp < end) {
                ++lp;
                ++ep;
                continue;
            }
            goto failed;
        case opClass:
            if (lp < end && inSet(m_re + ep + 1, text[lp])) {
                ++lp;
                ep += 17;
                continue;
            }
            goto failed;
        case opEndOfText:
            if (lp == end) {
                ++ep;
                continue;
            }
            goto failed;
        case opGroupStart:
            m_groupStart[m_re[ep + 1]] = lp;
            ep += 2;
            continue;
        case opGroupEnd:
            m_groupEnd[m_re[ep + 1]] = lp;
            ep += 2;
            continue;
        case opBackReference: {
            const int n = m_re[ep + 1];
            const int length = m_groupEnd[n] - m_groupStart[n];
            m_steps += length >> 7;
            if (length < 0 || lp + length > end
                || !Memcmp(m_prog.patternSpace + lp, m_prog.patternSpace + m_groupStart[n], length))
                goto failed;
            lp += length;
            ep += 2;
            continue;
        }
        case opEnd:
            m_matchEnd = lp;
            return true;
        case opCharStar:
        case opAnyStar:
        case opClassStar:
            run = op == opAnyStar ? end : measureRun(ep, lp, op == opCharStar ? m_re[ep + 1] : -1);
            next = ep + itemLength(ep);
            break;
        case opBackReferenceStar: {
            const int n = m_re[ep + 1];
            const int length = m_groupEnd[n] - m_groupStart[n];
            next = ep + 2;
            if (length <= 0) {
                ep = next;
                continue;
            }
            if (length == 1) {
                // Copies of one character are a run of that character, tried like a starred one.
                run = measureRun(ep, lp, text[m_groupStart[n]]);
                break;
            }
            // The copies reach as far as the text repeats the group with its period.
            int repeated = 0;
            if (lp + length <= end
                && Memcmp(m_prog.patternSpace + lp, m_prog.patternSpace + m_groupStart[n], length)) {
                repeated = length;
                while (lp + repeated < end && text[lp + repeated] == text[lp + repeated - length])
                    ++repeated;
            }
            const int copies = repeated / length;
            m_steps += copies + (repeated >> 3);
            for (int k = copies; k >= 0; --k) {
                if (advance(lp + k * length, next))
                    return true;
            }
            goto failed;
        }
        default:
            setError("sed: RE error, %o\n", op);
            quit(2);
        }
        // A starred item's run reaches from lp to run: the rest is tried after each length of it.
        if (run == lp) {
            ep = next;
            continue;
        }
        if (m_re[next] == opEnd && !m_reHasBackReference) {
            // Nothing follows the run: its full length is the match, at the cost of the one
            // attempt star would make (the end never fails, so none is remembered).
            if (++m_steps > m_stepLimit) {
                stepLimitReached();
                if (m_ruledOut)
                    return false;
            }
            m_matchEnd = run;
            return true;
        }
        if (star(lp, run, ep, next))
            return true;
        goto failed;
    }
failed:
    if (m_memoOn)
        rememberFailure(entryEp, entryLp, key, looked);
    return false;
}

int SedObj::passUnwanted(int q, int low, int ep, bool spans, int wanted)
{
    // The lengths of the run from q down that leave no wanted character next, down to a span of
    // known failures, are passed over together with the step each costs, unless their steps
    // would reach the limit: then they are taken one at a time.  Returns the length to try next
    // (q itself when it is wanted or the steps would reach the limit).
    const unsigned char *text = reinterpret_cast<const unsigned char *>(m_prog.patternSpace);
    const int floor = spans && m_spanHigh[ep] < q && m_spanHigh[ep] >= low ? m_spanHigh[ep] + 1 : low;
    const int top = q < m_end ? q : m_end - 1;
    int from = floor;
    if (top >= floor) {
        const void *hit = memrchr(text + floor, wanted, static_cast<std::size_t>(top - floor + 1));
        if (hit)
            from = static_cast<int>(static_cast<const unsigned char *>(hit) - text) + 1;
    }
    if (from > q || m_steps + (q - from + 1) > m_stepLimit)
        return q;
    m_steps += q - from + 1;
    return from - 1;
}

int SedObj::measureRun(int ep, int lp, int c)
{
    // The end of the run of c (or, for c < 0, of the class at ep) from lp.  Runs are remembered per
    // item and search: a position inside a run measured before ends where that one ended, and a
    // scan that reaches the start of a run measured before joins it.
    const unsigned char *text = reinterpret_cast<const unsigned char *>(m_prog.patternSpace);
    const int end = m_end;
    const bool known = m_runGeneration[ep] == m_generation && m_runByte[ep] == c;
    if (known && lp >= m_runFrom[ep] && lp <= m_runEnd[ep])
        return m_runEnd[ep];
    const int joins = known ? m_runFrom[ep] : -1;
    int run = lp;
    if (c >= 0) {
        while (run < end && run != joins && text[run] == c)
            ++run;
    } else {
        while (run < end && run != joins && inSet(m_re + ep + 1, text[run]))
            ++run;
    }
    m_steps += (run - lp) >> 3;
    if (run == joins)
        run = m_runEnd[ep];
    m_runGeneration[ep] = m_generation;
    m_runByte[ep] = c;
    m_runFrom[ep] = lp;
    m_runEnd[ep] = run;
    return run;
}

bool SedObj::star(int low, int run, int ep, int next)
{
    // Tries the rest of the RE after each length of the run, longest first.  The states known to
    // fail are kept per starred item as one span of positions, so that the positions of a run are
    // tried once per search however often the run is entered.
    const unsigned char *text = reinterpret_cast<const unsigned char *>(m_prog.patternSpace);
    // Group marks consume nothing, so a literal character after them is what the text must hold,
    // and a back-reference must begin with its group's first character.  That holds too for the
    // group that the run ends ("\(x.*\)\1"), when the group started before the run: it is not
    // empty at any length of the run.
    int look = next;
    while (m_re[look] == opGroupStart || m_re[look] == opGroupEnd)
        look += 2;
    const int op = m_re[next];
    int wanted = -1;
    if (m_re[look] == opChar) {
        wanted = m_re[look + 1];
    } else if (op == opBackReference && m_groupEnd[m_re[next + 1]] > m_groupStart[m_re[next + 1]]) {
        wanted = text[m_groupStart[m_re[next + 1]]]; // an empty group matches anywhere
    } else if (op == opGroupEnd && look == next + 2 && m_re[look] == opBackReference
               && m_re[look + 1] == m_re[next + 1] && m_groupStart[m_re[next + 1]] < low) {
        wanted = text[m_groupStart[m_re[next + 1]]];
    }
    // The rest of the RE at a position fails or succeeds alike however it was reached, as long as
    // the groups it reads hold the same texts: without back-references always, with them when
    // the span was recorded under the same group contents.
    Signature signature;
    bool keepSpan = !m_reHasBackReference;
    if (!keepSpan && m_memoOn && !m_groupMemoOff && groupSignature(next, signature))
        keepSpan = true;
    const bool spans = keepSpan && m_spanGeneration[ep] == m_generation
                       && (!m_reHasBackReference
                           || (m_spanMemoGeneration[ep] == m_memoGeneration
                               && sameGroups(m_spanSignature[ep].words, signature)));
    // In a long run the lengths that leave no wanted character next are passed over together.
    const bool longRun = wanted >= 0 && run - low >= 16;
    int q = run;
    if (m_re[look] == opEndOfText) {
        // Only the end of the text can be followed by "$".
        if (run == m_end && !(spans && run <= m_spanHigh[ep] && run >= m_spanLow[ep]) && advance(run, next))
            return true;
        q = low - 1;
    }
    while (q >= low) {
        if (spans && q <= m_spanHigh[ep] && q >= m_spanLow[ep]) {
            q = m_spanLow[ep] - 1;
            continue;
        }
        if (longRun && q - low >= 16) {
            const int next = passUnwanted(q, low, ep, spans, wanted);
            if (next != q) {
                q = next;
                continue;
            }
        }
        if (wanted < 0 || (q < m_end && text[q] == wanted)) {
            if (keepSpan && m_reHasBackReference) {
                m_givenItem = next;
                m_givenSignature = signature;
            }
            if (advance(q, next))
                return true;
        }
        if (++m_steps > m_stepLimit) {
            stepLimitReached();
            if (m_ruledOut)
                return false;
        }
        --q;
    }
    m_givenItem = -1;
    if (keepSpan) {
        if (spans && m_spanLow[ep] >= low && m_spanLow[ep] <= run + 1) {
            if (m_spanHigh[ep] < run)
                m_spanHigh[ep] = run;
            m_spanLow[ep] = low;
        } else {
            m_spanLow[ep] = low;
            m_spanHigh[ep] = run;
        }
        m_spanGeneration[ep] = m_generation;
        if (m_reHasBackReference) {
            m_spanMemoGeneration[ep] = m_memoGeneration;
            m_spanSignature[ep] = signature;
        }
    }
    return false;
}
