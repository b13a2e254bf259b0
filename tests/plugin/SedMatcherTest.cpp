// The matcher against a deliberately simple reference, and REs that explode under plain
// backtracking over long texts.
#include "SedTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A plain backtracking matcher over a small RE dialect: a b c . [ab] [^a], each optionally starred,
// groups \( \) (never starred), back-references \1 \2 (optionally starred), ^ and $.
struct RefItem {
    char kind; // 'c' char, '.' any, '[' set, '(' group start, ')' group end, '1' back-reference
    char ch = 0;
    bool negated = false;
    bool star = false;
    int group = 0;
};

struct Reference {
    std::vector<RefItem> items;
    bool anchored = false;
    bool atEnd = false;
    std::string text;
    int starts[9] = {};
    int ends[9] = {};
    int matchEnd = 0;

    bool one(const RefItem &it, int p) const
    {
        if (p >= static_cast<int>(text.size()))
            return false;
        const char c = text[p];
        if (it.kind == 'c')
            return c == it.ch;
        if (it.kind == '.')
            return true;
        const bool inSet = c == 'a' || c == 'b';
        return it.negated ? c != 'a' : inSet;
    }

    bool here(std::size_t i, int p)
    {
        if (i == items.size()) {
            if (atEnd && p != static_cast<int>(text.size()))
                return false;
            matchEnd = p;
            return true;
        }
        const RefItem &it = items[i];
        if (it.kind == '(') {
            starts[it.group] = p;
            return here(i + 1, p);
        }
        if (it.kind == ')') {
            ends[it.group] = p;
            return here(i + 1, p);
        }
        if (it.kind == '1') {
            const std::string g = text.substr(starts[it.group], ends[it.group] - starts[it.group]);
            int copies = 0;
            while (text.compare(p + copies * g.size(), g.size(), g) == 0
                   && p + (copies + 1) * g.size() <= text.size() && !g.empty() && (it.star || copies == 0))
                ++copies;
            if (!it.star)
                return (g.empty() || copies == 1) && here(i + 1, p + static_cast<int>(g.size()));
            for (int k = copies; k >= 0; --k)
                if (here(i + 1, p + k * static_cast<int>(g.size())))
                    return true;
            return false;
        }
        if (!it.star)
            return one(it, p) && here(i + 1, p + 1);
        int run = p;
        while (one(it, run))
            ++run;
        for (int q = run; q >= p; --q)
            if (here(i + 1, q))
                return true;
        return false;
    }

    // "[match]" marks, or the text unchanged, as s/re/[&]/ would give.
    std::string substitute()
    {
        const int last = anchored ? 0 : static_cast<int>(text.size());
        for (int start = 0; start <= last; ++start)
            if (here(0, start))
                return text.substr(0, start) + "[" + text.substr(start, matchEnd - start) + "]"
                       + text.substr(matchEnd);
        return text;
    }
};

struct RandomRe {
    std::string source;
    Reference reference;
};

RandomRe randomRe(std::mt19937 &random)
{
    RandomRe r;
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    if (pick(4) == 0) {
        r.source += '^';
        r.reference.anchored = true;
    }
    const int count = 1 + pick(6);
    int groups = 0;
    int closed = 0;
    bool open = false;
    for (int i = 0; i < count; ++i) {
        if (!open && groups < 2 && pick(4) == 0) {
            r.source += "\\(";
            r.reference.items.push_back({'(', 0, false, false, groups});
            open = true;
            ++groups;
        }
        RefItem it{'c'};
        const int kind = pick(closed ? 7 : 6);
        if (kind < 3) {
            it.ch = static_cast<char>('a' + kind);
            r.source += it.ch;
        } else if (kind == 3) {
            it.kind = '.';
            r.source += '.';
        } else if (kind == 4) {
            it.kind = '[';
            r.source += "[ab]";
        } else if (kind == 5) {
            it.kind = '[';
            it.negated = true;
            r.source += "[^a]";
        } else {
            it.kind = '1';
            it.group = pick(closed);
            r.source += "\\" + std::to_string(it.group + 1);
        }
        if (pick(2) == 0) {
            it.star = true;
            r.source += '*';
        }
        r.reference.items.push_back(it);
        if (open && pick(2) == 0) {
            r.source += "\\)";
            r.reference.items.push_back({')', 0, false, false, groups - 1});
            open = false;
            ++closed;
        }
    }
    if (open) {
        r.source += "\\)";
        r.reference.items.push_back({')', 0, false, false, groups - 1});
    }
    if (pick(4) == 0) {
        r.source += '$';
        r.reference.atEnd = true;
    }
    return r;
}

} // namespace

TEST(SedMatcher, AgreesWithTheReferenceWithAndWithoutRememberedStates)
{
    std::mt19937 random(12345);
    CapturingSed plain;
    CapturingSed memo;
    memo.engine->set_memo_threshold(0);
    for (int round = 0; round < 20000; ++round) {
        RandomRe re = randomRe(random);
        std::string text;
        const int length = static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i)
            text += static_cast<char>('a' + random() % 3);
        re.reference.text = text;
        const std::string expected = re.reference.substitute();
        const std::string script = "s/" + re.source + "/[&]/";
        for (CapturingSed *sed : {&plain, &memo}) {
            SedRun r = sed->run(script, {text});
            ASSERT_EQ(r.code, -1) << script << " " << r.error;
            ASSERT_EQ(r.results.at(0), expected) << script << " over " << text;
        }
    }
}

TEST(SedMatcher, GroupsAgreeWhenStatesAreRemembered)
{
    std::mt19937 random(99);
    CapturingSed plain;
    CapturingSed memo;
    memo.engine->set_memo_threshold(0);
    const char *scripts[] = {
        "s/\\(a*\\)\\(b*\\)a/<\\2|\\1>/g",
        "s/\\(.*\\)b\\(.*\\)/<\\2|\\1>/",
        "s/a*\\(b[ab]*\\)*//",
        "s/\\([ab]*\\)c\\([^a]*\\)/\\2\\1/g",
        "s/.*\\(a\\)/\\1/",
        "s/[^a]*/-/g",
        "s/b*/x/g",
    };
    for (int round = 0; round < 500; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 20);
        for (int i = 0; i < length; ++i)
            text += static_cast<char>('a' + random() % 3);
        for (const char *script : scripts) {
            SedRun a = plain.run(script, {text});
            SedRun b = memo.run(script, {text});
            ASSERT_EQ(a.results, b.results) << script << " over " << text;
            ASSERT_EQ(a.error, b.error) << script;
        }
    }
}

TEST(SedMatcher, PathologicalResOverLongTextsFinish)
{
    struct P {
        const char *script;
        std::string text;
        std::string expected;
    };
    const std::string as(4000, 'a');
    std::string xy(4000, 'x');
    for (int i = 1; i < 4000; i += 2)
        xy[i] = 'y';
    const std::vector<P> cases = {
        {"s/a*a*a*a*a*b/X/", as, as},      {"s/a*a*a*a*a*a*a*a*a*b/X/g", as, as},
        {"s/.*x.*y.*z/X/", xy, xy},        {"s/\\(.*\\)x\\(.*\\)y\\(.*\\)z/X/", xy, xy},
        {"s/[ab]*[ab]*[ab]*c/X/", as, as}, {"s/.*.*.*.*=/X/g", as, as},
        {"s/a*a*a*a*a*$/X/", as, "X"},     {"s/.*x.*y.*y$/X/", xy, "X"},
        {"/a*a*a*a*a*b/d", as, as},
    };
    for (const P &c : cases) {
        CapturingSed sed;
        SedRun r = sed.run(c.script, {c.text});
        ASSERT_EQ(r.code, -1) << c.script;
        EXPECT_EQ(r.results.at(0), c.expected) << c.script;
    }
}

namespace {

// A random RE of the engine's dialect over a and b with nested groups, back-references to closed
// groups (starred or not) and stars; group numbers are given in the order the groups open.
std::string randomNestedRe(std::mt19937 &random, int &groups)
{
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char *atoms[] = {"a", "b", ".", "[ab]", "a*", "b*", ".*", "[ab]*", "[^a]*"};
    std::string re = pick(5) == 0 ? "^" : "";
    std::vector<int> open;
    std::vector<int> closed;
    groups = 0;
    const int count = 2 + pick(6);
    for (int i = 0; i < count; ++i) {
        const int what = pick(10);
        if (what < 2 && groups < 4) {
            re += "\\(";
            open.push_back(++groups);
        } else if (what < 4 && !open.empty()) {
            re += "\\)";
            closed.push_back(open.back());
            open.pop_back();
        } else if (what < 6 && !closed.empty()) {
            re += "\\"
                  + std::to_string(closed[static_cast<std::size_t>(pick(static_cast<int>(closed.size())))]);
            if (pick(2) == 0)
                re += "*";
        } else {
            re += atoms[pick(9)];
        }
    }
    while (!open.empty()) {
        re += "\\)";
        open.pop_back();
    }
    if (pick(3) == 0)
        re += "c";
    if (pick(5) == 0)
        re += "$";
    return re;
}

} // namespace

TEST(SedMatcher, RememberedStatesWithGroupsNeverChangeAResult)
{
    // The memory of failed states from the first step against none at all, on REs whose states
    // depend on group contents.  A run that reaches the work bound in either is left out.
    std::mt19937 random(2026);
    CapturingSed plain;
    plain.engine->set_memo_threshold(1L << 40);
    plain.engine->set_work_budget(2000000);
    CapturingSed memo;
    memo.engine->set_memo_threshold(0);
    memo.engine->set_work_budget(2000000);
    int compared = 0;
    for (int round = 0; round < 4000; ++round) {
        int groups = 0;
        const std::string re = randomNestedRe(random, groups);
        std::string text;
        const int length = static_cast<int>(random() % 20);
        for (int i = 0; i < length; ++i)
            text += "aab"[random() % 3];
        if (random() % 3 == 0)
            text += 'c';
        const std::string script = "s/" + re + "/[&" + (groups ? "|\\1" : "") + "]/g";
        const SedRun a = plain.run(script, {text});
        const SedRun b = memo.run(script, {text});
        if (a.error == "sed: RE too complex\n" || b.error == "sed: RE too complex\n")
            continue;
        ++compared;
        ASSERT_EQ(a.code, b.code) << script << " over " << text << ": " << a.error << b.error;
        ASSERT_EQ(a.results, b.results) << script << " over " << text;
    }
    EXPECT_GT(compared, 3900);
}

TEST(SedMatcher, PathologicalBackReferencesEndWithTheResultOrTheBound)
{
    // Each case ends with its right result, or where marked with the work bound's message.
    struct P {
        const char *script;
        std::string text;
        std::string expected;
        bool mayGiveUp;
    };
    const std::string a401 = "b" + std::string(400, 'a');
    const std::string a4000 = std::string(3998, 'a') + "bc";
    const std::string a4000x = std::string(3998, 'a') + "bX";
    std::string blocks;
    while (blocks.size() < 3996)
        blocks += "aaab";
    blocks += "bcac";
    const std::vector<P> cases = {
        {"s/\\(a\\)a*a*a*\\1c/X/", a401, a401, false},
        {"s/\\(a\\)a*a*a*\\1c/X/", "b" + std::string(3997, 'a') + "bc", "b" + std::string(3997, 'a') + "bc",
         false},
        {"s/\\(a\\)a*a*a*\\1c/X/", "b" + std::string(3998, 'a') + "c", "bX", false},
        {"/\\(a\\)a*a*a*\\1c/d\ns/^/x/", a401, "x" + a401, false},
        {"s/\\(a*\\)a*\\1c/X/", std::string(1600, 'a'), std::string(1600, 'a'), false},
        {"s/\\(a\\)\\1*\\1*\\1*c/X/", a4000, a4000, false},
        {"s/\\(a*\\)a*\\1c/X/", a4000, a4000x, true},
        {"s/\\(a*\\)\\1*\\1*c/X/", a4000, a4000x, true},
        {"s/\\(\\(a*\\)\\2*b\\)\\1*\\2c/X/", blocks, blocks.substr(0, 3995) + "Xac", true},
        {"s/\\(a*\\)\\(a*\\)\\1*\\2*\\1\\2c/X/", a4000, a4000x, true},
        {"s/\\(a*\\)\\(a*\\)\\(a*\\)\\(a*\\)\\4\\3\\2\\1c/X/g", a4000, a4000x, true},
    };
    for (const P &c : cases) {
        CapturingSed sed;
        // A sixteenth of the default budget keeps the searches that give up short.
        sed.engine->set_work_budget(SedObj::workBudget / 16);
        const SedRun r = sed.run(c.script, {c.text});
        if (c.mayGiveUp && r.code == 2) {
            EXPECT_EQ(r.error, "sed: RE too complex\n") << c.script;
            continue;
        }
        ASSERT_EQ(r.code, -1) << c.script << ": " << r.error;
        EXPECT_EQ(r.results.at(0), c.expected) << c.script;
    }
    // A starred group is refused when compiled.
    EXPECT_EQ(sedOnce("s/\\(a*\\)*\\1/X/", "aaa"), "EXC2:sed: garbled command s/\\(a*\\)*\\1/X/\n");
}

TEST(SedMatcher, SearchesThatCannotMatchAreAnsweredWithoutSearching)
{
    // Under a budget far too small for any of these searches, each is still answered: the text
    // lacks a character, enough copies of one, a character of a class, or the length that every
    // match holds, back-references counted.
    const std::string a400(400, 'a');
    std::string ab;
    for (int i = 0; i < 2000; ++i)
        ab += "ab";
    std::string stars;
    for (int i = 0; i < 73; ++i)
        stars += ".*";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"s/\\(aa*\\)\\1c/x/", a400},
        {"s/" + stars + "[cd]/X/", ab},
        {"s/\\(a.*\\)\\1/X/", "a" + std::string(3000, 'b')},
        {"s/\\(.*x.*\\)\\1\\1/X/", "xx" + std::string(3000, 'b')},
        {"s/\\(...*\\)\\1\\1\\(..*\\)\\2\\1/X/", std::string(9, 'a')},
        {"/\\([ab]*\\)[ab]*\\1[cd]/d", ab},
    };
    for (const auto &[script, text] : cases) {
        CapturingSed sed;
        sed.engine->set_work_budget(4096);
        const SedRun r = sed.run(script, {text});
        EXPECT_EQ(r.code, -1) << script << ": " << r.error;
        EXPECT_EQ(r.results.at(0), text) << script;
    }
}

TEST(SedMatcher, TheWorkBoundEndsTheRunCleanly)
{
    CapturingSed sed;
    const std::string text = std::string(3998, 'a') + "bc";
    SedRun r = sed.run("s/a/x/;s/\\(a*\\)a*\\1c/X/", {text});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.error, "sed: RE too complex\n");
    EXPECT_EQ(sed.engine->status(), 2);
    // The engine goes on with the next text and program as if nothing happened.
    r = sed.run("s/\\(a\\)a*\\1c/X/", {"baac"});
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.results.at(0), "bX");
    EXPECT_EQ(r.error, "");
    // A smaller bound is reached sooner by the same kind of search; a plain one never.
    sed.engine->set_work_budget(262144);
    r = sed.run("s/\\(a*\\)a*\\1c/X/", {std::string(500, 'a') + "bc"});
    EXPECT_EQ(r.error, "sed: RE too complex\n");
    r = sed.run("s/a*a*b/X/g", {"aaab aab"});
    EXPECT_EQ(r.results.at(0), "X X");
}
