// Behaviour of the sed engine, grouped by feature, as tables of script, texts and results.
#include "SedTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

struct Case {
    const char *script;
    const char *text;
    const char *expected; // result, or "EXC<code>:<message>"
};

// An expected message's "%s" stands for the row's script: a refused command is named as written.
void runTable(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        std::string expected = c.expected;
        if (const std::size_t at = expected.find("%s"); at != std::string::npos)
            expected.replace(at, 2, c.script);
        EXPECT_EQ(sedOnce(c.script, c.text), expected) << "script: " << c.script << "  text: " << c.text;
    }
}

const std::string garbledCommand = "EXC2:sed: garbled command %s\n";
const std::string garbledAddress = "EXC2:sed: garbled address %s\n";

} // namespace

TEST(SedSubstitution, Results)
{
    runTable({
        {"s/o/0/g", "foo boo", "f00 b00"},
        {"s/o/0/g", "hello world", "hell0 w0rld"},
        {"s/o/0/", "foo", "f0o"},
        {"s/x*/-/g", "abc", "-a-b-c-"},
        {"s/b*/-/g", "abc", "-a-c-"},
        {"s/a*/x/g", "baaac", "xbxcx"},
        {"s/$/!/g", "abc", "abc!"},
        {"s/^/>/g", "abc", ">abc"},
        {"s/^a/x/g", "aaa", "xaa"},
        {"s/\\(ab\\)\\(cd\\)/\\2\\1/", "abcd", "cdab"},
        {"s/\\(.*\\)=\\(.*\\)/\\2=\\1/", "key=value", "value=key"},
        {"s/a/[&]/g", "banana", "b[a]n[a]n[a]"},
        {"s/a/\\&/", "a", "&"},
        {"s/a/\\n/", "a", "n"},
        {"s/a/x\\\ny/", "a", "x\ny"},
        {"s,/,|,g", "/usr/local/bin", "|usr|local|bin"},
        {"s/a/b/;s//c/", "aa", "bc"},
        {"s/\\(x*\\)a/[\\1]/g", "aab", "[][]b"},
        {"s/\\(b*\\)\\1c/<&>/", "abbbbc", "a<bbbbc>"},
        {"s/é/e/g", "café é", "cafe e"},
        {"s/a/é/", "a", "é"},
        {"s/[^a-z]/_/g", "aé", "a__"},
        {"s/a/b/3", "aaa", "EXC2:sed: command \"%s\" has trailing garbage\n"},
        {"s/a/b/gg", "aa", "bb"},
        {"s/*//", "a*b", "ab"},
        {"s/a**/x/", "aab", "xb"},
        {"s/\\(x*\\)a*\\1b/[&]/", "aab", "[aab]"},
        {"s/\\(x*\\)\\1*b/[\\1]/", "ab", "a[]"},
        // The matcher's quick paths: a literal at a fixed distance from the start, a literal
        // after a star, a run skipped after a failed start, a last character that cannot end a
        // match of an RE ending in "$".
        {"s/.ab/X/g", "xab ab", "XX"},
        {"s/[0-9]*x/Y/g", "12x3x45", "YY45"},
        {"s/\\(a\\)b*\\1/X/g", "abba aa ab", "X X ab"},
        {"s/b*ba/X/g", "bbbc bbba", "bbbc X"},
        {"s/[0-9][0-9]*$/N/", "a1 b22", "a1 bN"},
        {"s/[0-9][0-9]*$/N/", "a1 b22 c", "a1 b22 c"},
        {"s/a*$/!/g", "baa", "b!"},
    });
}

TEST(SedSubstitution, PrintFlagsAndEmptyResults)
{
    CapturingSed sed;
    SedRun r = sed.run("s/a/b/p;s/x/y/p", {"abc"});
    EXPECT_EQ(r.results.at(0), "bbc");
    EXPECT_EQ(r.output, "bbc\n");
    r = sed.run("s/a/b/P;p", {"a"});
    EXPECT_EQ(r.output, "b\n");
}

TEST(SedSubstitution, ResultPastTheLimitKeepsTheTextAndWarns)
{
    CapturingSed sed;
    const std::string text(3000, 'a');
    SedRun r = sed.run("s/a/aa/g", {text});
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.error, "sed: line too long\n");
    ASSERT_EQ(r.results.size(), 1u);
    // Every replacement that fitted is made; the one that would not fit ends the substitution.
    EXPECT_EQ(r.results[0].size(), 4000u);
    r = sed.run("s/.*/&&/", {text});
    EXPECT_EQ(r.results.at(0), text);
    EXPECT_EQ(r.error, "sed: line too long\n");
    r = sed.run("s/a/b/", {std::string(4000, 'a')});
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.results.at(0), "b" + std::string(3999, 'a'));
}

TEST(SedMatch, AnchorsClassesGroupsAndStars)
{
    // "/re/d" leaves nothing exactly when re occurs in the text.
    struct M {
        const char *re;
        const char *text;
        bool found;
    };
    const std::vector<M> cases = {
        {"b", "abc", true},
        {"^b", "abc", false},
        {"c$", "abc", true},
        {"b$", "abc", false},
        {"^$", "", true},
        {"a$b", "a$b", true},
        {"[A-Z]", "aXb", true},
        {"[A-Z]", "axb", false},
        {"[]abc]", "]", true},
        {"[]abc]", "d", false},
        {"[^a-c]", "abc", false},
        {"[^a-c]", "abcd", true},
        {"[a-]", "-", true},
        {"[-a]", "-", true},
        {"[\\]]", "]", true},
        {"[\\t]", "a\tb", true},
        {"a\\(b\\)\\1", "ab", false},
        {"a\\(b\\)\\1", "abb", true},
        {"x*", "", true},
        {"a*a", "a", true},
        {"a*ab", "ab", true},
        {".*x.*y", "axbyc", true},
        {".*x.*y", "aybxc", false},
        {"a.c", "abc", true},
        {"a.c", "ac", false},
        {"\\.", "a.b", true},
        {"\\.", "ab", false},
        {"a\\/b", "a/b", true},
        {"^*a", "*a", true},
        {"\\(a*\\)b\\1$", "aabaa", true},
        {"\\(a*\\)b\\1$", "aaba", true},
        {"^\\(a*\\)b\\1$", "aaba", false},
        {"[0-9][0-9]*", "x12", true},
        {"\\(\\(a\\)b\\)\\2", "aba", true},
        {"\\(\\(a\\)b\\)\\1", "aba", false},
        {"ab*c", "ac", true},
        {"[^x]", "é", true},
        {"[a-z]", "é", false},
        {".", "é", true},
    };
    for (const M &c : cases) {
        const std::string result = sedOnce(std::string("/") + c.re + "/d", c.text);
        EXPECT_EQ(result.empty(), c.found) << "re: " << c.re << "  text: " << c.text << " -> " << result;
    }
}

TEST(SedMatch, StarAfterAGroupStartIsALiteralWhateverTheText)
{
    // Nothing before it can repeat, as at the start of the RE.
    runTable({
        {"s/x\\(*a\\)/y/", "ab", "ab"},
        {"s/x\\(*a\\)/y/", "xa", "xa"},
        {"s/x\\(*a\\)/y/", "x*a", "y"},
        {"s/\\(*a\\)/x/", "aaa", "aaa"},
        {"s/\\(*a\\)/x/", "b*ab", "bxb"},
        {"s/\\(\\(**a\\)\\)\\1/<\\2>/", "**a*a", "*<*a>"},
    });
}

TEST(SedCompile, Errors)
{
    runTable({
        {"s/a/", "x", garbledCommand.c_str()},
        {"s/\\(a\\)/\\2/", "x", garbledCommand.c_str()},
        {"s/a/b\\", "x", "x"},                      // the trailing backslash ends the script
        {"s/a/b\\\\", "x", garbledCommand.c_str()}, // a replacement that ends in a backslash
        {"s/\\(a/b/", "x", garbledCommand.c_str()},
        {"s/a\\)/b/", "x", garbledCommand.c_str()},
        {"s/\\1\\(a\\)/b/", "x", garbledCommand.c_str()},
        {"s/\\(a\\)*/b/", "x", garbledCommand.c_str()},
        {"s/[abc/x/", "x", garbledCommand.c_str()},
        {"s/[é]/x/", "x", garbledCommand.c_str()},
        {"s/\\(\\(\\(\\(\\(\\(\\(\\(\\(\\(a\\)\\)\\)\\)\\)\\)\\)\\)\\)\\)/x/", "x",
         "EXC2:sed: garbled command s/\\(\\(\\(\\(\\(\\(\\(\\(\\(\\(a\\)\\)\\)\\)\\)\\)\\)...\n"},
        // A back-reference repeats a closed group only.
        {"s/\\(\\(a\\)\\1\\)/x/", "x", garbledCommand.c_str()},
        {"s", "x", garbledCommand.c_str()},
        {"y/abc/xy/", "x", garbledCommand.c_str()},
        {"y/ab/xyz/", "x", garbledCommand.c_str()},
        {"y/abc/xyz", "x", garbledCommand.c_str()},
        {"y/é/e/", "x", garbledCommand.c_str()},
        {"/a", "x", "EXC2:sed: no such command as %s\n"},
        {"/\\(a/p", "x", garbledAddress.c_str()},
        {"1,p", "x", garbledAddress.c_str()},
        {"99999999999p", "x", garbledAddress.c_str()},
        {"//p", "x", "EXC2:sed: first RE must be non-null\n"},
        {"s//x/", "x", "EXC2:sed: first RE must be non-null\n"},
        {"k", "x", "EXC2:sed: no such command as %s\n"},
        {"1!", "x", "EXC2:sed: no such command as %s\n"},
        {"p x", "x", "EXC2:sed: command \"%s\" has trailing garbage\n"},
        {"1,2=", "x", "EXC2:sed: only one address allowed for %s\n"},
        {"1,2q", "x", "EXC2:sed: only one address allowed for %s\n"},
        {"1,2a foo", "x", "EXC2:sed: only one address allowed for %s\n"},
        {"1:a", "x", "EXC2:sed: no addresses allowed for %s\n"},
        {"{p;1}", "x", "EXC2:sed: no addresses allowed for 1}\n"},
        {"b end", "x", "EXC2:sed: undefined label end\n"},
        {":end\n:end", "x", "EXC2:sed: duplicate label end\n"},
        {"{p", "x", "EXC2:sed: too many {'s\n"},
        {"}", "x", "EXC2:sed: too many }'s\n"},
        {"w /nonexistent-folder/x", "x", "EXC2:sed: cannot create /nonexistent-folder/x\n"},
    });
}

TEST(SedCompile, AcceptedForms)
{
    runTable({
        {"p;p", "x", "x"},
        {"p # note", "x", "x"},
        {"# only a comment", "x", "x"},
        {"  ;; p ;", "x", "x"},
        {"/x/,/y/!d", "a", ""},
        {"/x/{s/x/y/;}", "x", "y"},
        {"/x/{s/x/y/}", "x", "y"},
        {"/x/!{s/a/b/;}", "x", "x"},
        {"\\,x,d", "x", ""},
        {"\\,x,d", "y", "y"},
        {"$!d", "x", "x"},
        {"s/\\(a\\)\\(b\\)/\\2\\1/", "ab", "ba"},
        {"s/\\(\\(a\\)\\2\\)b/<\\1>/", "aab", "<aa>"},
    });
}

TEST(SedCompile, Limits)
{
    std::string commands;
    for (int i = 0; i < 499; ++i)
        commands += "s/a/a/\n";
    EXPECT_EQ(sedOnce(commands, "a"), "a");
    EXPECT_EQ(sedOnce(commands + "p", "a"), "EXC2:sed: too many commands, last was p\n");

    std::string braces;
    for (int i = 0; i < 20; ++i)
        braces += "{";
    EXPECT_EQ(sedOnce(braces + std::string(20, '}'), "a"), "a");
    EXPECT_EQ(sedOnce(braces + "{" + std::string(21, '}'), "a"), "EXC2:sed: too many {'s\n");

    std::string numbers;
    for (int i = 0; i < 255; ++i)
        numbers += std::to_string(i + 5) + "d\n";
    EXPECT_EQ(sedOnce(numbers, "a"), "a");
    EXPECT_EQ(sedOnce(numbers + "1d", "a"), "EXC2:sed: too many line numbers\n");

    std::string labels;
    for (int i = 0; i < 48; ++i)
        labels += ":l" + std::to_string(i) + "\n";
    EXPECT_EQ(sedOnce(labels, "a"), "a");
    EXPECT_EQ(sedOnce(labels + ":more", "a"), "EXC2:sed: too many labels: more\n");
    EXPECT_EQ(sedOnce(labels + "b more", "a"), "EXC2:sed: too many labels: more\n");

    EXPECT_EQ(sedOnce(std::string(3999, ' ').replace(0, 1, "p"), "a"), "a");
    EXPECT_EQ(sedOnce("p" + std::string(3999, ' '), "a"), "EXC2:sed: script too long\n");

    // A long RE: 127 literal items fit in 256 bytes, 128 do not.
    EXPECT_EQ(sedOnce("/" + std::string(127, 'a') + "/d", std::string(127, 'a')), "");
    // A message names what it refused, cut to a readable length.
    EXPECT_EQ(sedOnce("/" + std::string(128, 'a') + "/d", "a"),
              "EXC2:sed: garbled address /" + std::string(36, 'a') + "...\n");
    EXPECT_EQ(
        sedOnce("s/" + std::string(14, '[').replace(0, 14, "[a][a][a][a][a][a][a][a][a][a][a][a][a][a][a]")
                    + "/x/",
                "a"),
        "EXC2:sed: RE too long: s/[a][a][a][a][a][a][a][a][a][a][a][a...\n");

    // The text pool: y tables and classes take more room than their script text, so a script can
    // fill the pool; it is refused, never written past its end.
    std::string tables;
    for (int i = 0; i < 78; ++i)
        tables += "y/a/b/\n";
    EXPECT_EQ(sedOnce(tables, "a"), "b");
    EXPECT_EQ(sedOnce(tables + "y/a/b/", "a"), "EXC2:sed: too much text: y/a/b/\n");
    std::string classes;
    for (int i = 0; i < 86; ++i)
        classes += "/[a][a][a][a][a][a][a][a][a][a][a][a][a][a]/p\n";
    EXPECT_EQ(sedOnce(classes, "b"), "EXC2:sed: too much text: /[a][a][a][a][a][a][a][a][a][a][a][a]...\n");
}

TEST(SedCompile, RecompileAfterAnErrorStartsClean)
{
    CapturingSed sed;
    SedRun r = sed.run("/a/{s/a/b/", {"a"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(sed.engine->status(), 2);
    // The failed program is not run half-built.
    EXPECT_STREQ(sed.engine->execute_commands("a"), "a");
    EXPECT_EQ(sed.engine->status(), 0);
    EXPECT_STREQ(sed.engine->get_error_string(), "");
    r = sed.run("s/a/c/", {"a"});
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.results.at(0), "c");
    EXPECT_EQ(sed.engine->recompile(nullptr), -1);
}

TEST(SedAddresses, AcrossRuns)
{
    struct A {
        const char *script;
        std::vector<std::string> texts;
        std::vector<std::string> results;
    };
    const std::vector<A> cases = {
        {"1d", {"a", "b", "c"}, {"", "b", "c"}},
        {"2d", {"a", "b", "c"}, {"a", "", "c"}},
        {"0d", {"a"}, {"a"}},
        {"2,3d", {"a", "b", "c", "d"}, {"a", "", "", "d"}},
        {"1;3d", {"a", "b", "c", "d"}, {"", "", "", "d"}},
        {"3,1d", {"a", "b", "c", "d"}, {"a", "b", "", "d"}},
        {"2,/x/d", {"a", "b", "c", "x", "y"}, {"a", "", "", "", "y"}},
        {"/s/,/e/d", {"a", "s", "b", "e", "c", "s"}, {"a", "", "", "", "c", ""}},
        {"/s/,/e/!d", {"a", "s", "b", "e", "c"}, {"", "s", "b", "e", ""}},
        {"/s/,2d", {"s", "b", "c"}, {"", "", "c"}},
        {"/x/,1d", {"a", "x", "b"}, {"a", "", "b"}},
        {"$d", {"a", "b"}, {"", ""}},
        {"/a/,$d", {"a", "b", "c"}, {"", "", "c"}},
    };
    for (const A &c : cases) {
        CapturingSed sed;
        SedRun r = sed.run(c.script, c.texts);
        EXPECT_EQ(r.results, c.results) << c.script;
    }
}

TEST(SedAddresses, LastLineComesFromTheCaller)
{
    auto engine = std::make_unique<SedObj>();
    engine->recompile("$!s/$/,/");
    EXPECT_STREQ(engine->execute_commands("a", 1, false), "a,");
    EXPECT_STREQ(engine->execute_commands("b", 1, true), "b");
    EXPECT_EQ(engine->line_counter(), 2);
}

TEST(SedHoldSpace, Commands)
{
    runTable({
        {"G", "abc", "abc\n"},
        {"h;s/a/b/;G", "a", "b\na"},
        {"h;s/a/b/;H;g", "a", "a\nb"},
        {"x", "abc", ""},
        {"h;x;s/a/b/;x", "a", "a"},
        {"h;s/.*/X/;x;G", "abc", "abc\nX"},
    });
    CapturingSed sed;
    SedRun r = sed.run("x", {"one", "two", "three"});
    EXPECT_EQ(r.results, (std::vector<std::string>{"", "one", "two"}));
    r = sed.run("H;$!d;x;s/\\n/,/g", {"a", "b"});
    EXPECT_EQ(r.results, (std::vector<std::string>{",a", "a,b"}));
}

TEST(SedHoldSpace, AppendsAreCutAtTheLimitWithAMessage)
{
    CapturingSed sed;
    SedRun r = sed.run("h;G", {std::string(3000, 'a')});
    EXPECT_EQ(r.results.at(0).size(), 4000u);
    EXPECT_EQ(r.error, "sed: truncated to 4000 characters");
    r = sed.run("h;H;H;g", {std::string(1500, 'b')});
    EXPECT_EQ(r.results.at(0).size(), 4000u);
}

TEST(SedHoldSpace, ClearKeepsTheOldTextForG)
{
    CapturingSed sed;
    sed.run("h", {"old"});
    SedRun r = sed.run("H;x", {"new"});
    EXPECT_EQ(r.results.at(0), "\nnew");
    sed.run("h", {"kept"});
    r = sed.run("g", {"x"});
    EXPECT_EQ(r.results.at(0), "");
}

TEST(SedBranching, LabelsAndTests)
{
    runTable({
        {"s/a/b/;t;s/$/!/", "a", "b"},
        {"s/a/b/;t;s/$/!/", "c", "c!"},
        {"s/a/b/;T;s/$/!/", "a", "b!"},
        {"s/a/b/;T;s/$/!/", "c", "c"},
        {":a;s/x//;ta", "xxxxx", ""},
        {":a\ns/^ //\nt a", "   x", "x"},
        {"b end;s/a/b/;:end", "a", "a"},
        {"b;s/a/b/", "a", "a"},
        {"bskip\ns/a/b/\n:skip\ns/a/c/", "a", "c"},
        {"s/a/b/;:l;tl;s/b/c/", "a", "c"},
        {"/a/{s/a/b/;b};s/$/!/", "a", "b"},
        {"/x/{\n/y/{\ns/$/!/\n}\n}", "xy", "xy!"},
        {"/x/{\n/y/{\ns/$/!/\n}\n}", "x", "x"},
        {"D", "a\nb\nc", ""},
        {"$!N;P;D", "a", ""},
        {"s/^a//;/a\\n/D", "aa\nb", "b"},
    });
    EXPECT_EQ(sedOnce(":a;ba", "x"), "EXC2:sed: script runs too long\n");
    EXPECT_EQ(sedOnce(":a;s/x*/&&/g;ta", std::string(4000, 'a')), "EXC2:sed: script runs too long\n");
    // A loop that does real work on a full text stays within the limits.
    EXPECT_EQ(sedOnce(":a;s/x/y/;ta", std::string(4000, 'x')), std::string(4000, 'y'));
    // A loop back in a state it was in never ends, however it got there; one that grows the text
    // ends at the text limit.
    EXPECT_EQ(sedOnce(":a;s/x*$/x/;ta", "abc"), "EXC2:sed: script runs too long\n");
    EXPECT_EQ(sedOnce(":a;y/ab/ba/;s/^/-/;s/^-//;ta", "ab"), "EXC2:sed: script runs too long\n");
    EXPECT_EQ(sedOnce(":a;G;s/^\\(.\\).*$/\\1/;ta", "ab"), "EXC2:sed: script runs too long\n");
    EXPECT_EQ(sedOnce(":a;s/^/x/;ta", "abc"), std::string(3997, 'x') + "abc");
    // Loops whose passes shorten the text or move through it are ordinary work, however many.
    std::string line;
    for (int i = 0; i < 1900; ++i)
        line += static_cast<char>('a' + i * 7 % 26);
    EXPECT_EQ(sedOnce("/\\n/!G;s/\\(.\\)\\(.*\\n\\)/&\\2\\1/;//D;s/.//", line),
              std::string(line.rbegin(), line.rend()));
    std::string digits;
    for (int i = 0; i < 3000; ++i)
        digits += static_cast<char>('0' + i * 7 % 10);
    std::string grouped = digits;
    for (int at = static_cast<int>(grouped.size()) - 3; at > 0; at -= 3)
        grouped.insert(static_cast<std::size_t>(at), ",");
    EXPECT_EQ(sedOnce(":a;s/\\(.*[0-9]\\)\\([0-9][0-9][0-9]\\)/\\1,\\2/;ta", digits), grouped);
}

TEST(SedTransliterate, Tables)
{
    runTable({
        {"y/abc/xyz/", "aabbcc", "xxyyzz"},
        {"y/abc/ABC/", "abc", "ABC"},
        {"y/a\\nb/x y/", "a\nb", "x y"},
        {"y/ /\\n/", "a b", "a\nb"},
        {"y,a\\,,xyz,", "a\\,", "xyz"},
        {"y/a/b/", "é a", "é b"},
        {"y///", "abc", "abc"},
    });
}

TEST(SedQueue, AppendInsertChangeRead)
{
    runTable({
        {"i\\\nX", "abc", "X\n"},
        {"a\\\nX", "abc", "X\n"},
        {"a X\na Y", "abc", "Y\n"},
        {"a\\\n  one\\\n  two", "abc", "one\ntwo\n"},
        {"c\\\nnew", "old", "new\n"},
        {"/x/c\\\nnew", "old", "old"},
        {"i\\\nX\nd", "abc", ""},
    });
    CapturingSed sed;
    std::string script;
    for (int i = 0; i < 21; ++i)
        script += "a " + std::to_string(i) + "\n";
    SedRun r = sed.run(script, {"x"});
    EXPECT_EQ(r.results.at(0), "19\n");
    EXPECT_EQ(r.error, "sed: too many appends after line 1\n");
    r = sed.run("r /nonexistent-file", {"x"});
    EXPECT_EQ(r.results.at(0), "x");
    EXPECT_EQ(r.error, "sed: can't open /nonexistent-file\n");
    std::string reads;
    for (int i = 0; i < 21; ++i)
        reads += "r /dev/null\n";
    r = sed.run(reads, {"x"});
    EXPECT_EQ(r.error, "sed: too many reads after line 3\n");
}

TEST(SedOutput, PrintNextQuitAndList)
{
    CapturingSed sed;
    SedRun r = sed.run("p;p", {"a"});
    EXPECT_EQ(r.output, "a\na\n");
    r = sed.run("n;s/a/b/", {"a"});
    EXPECT_EQ(r.output, "a\n");
    EXPECT_EQ(r.results.at(0), "");
    r = sed.run("N;s/\\n/-/", {"a"});
    EXPECT_EQ(r.results.at(0), "a");
    r = sed.run("s/a/b/;q;s/b/c/", {"a"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output, "b\n");
    EXPECT_EQ(sed.engine->status(), 0);
    r = sed.run("=;l;P", {"a"});
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.results.at(0), "a");

    sed.output.clear();
    sed.engine->listto("a\tb\n\x1b\x01\\", 0);
    EXPECT_EQ(sed.output, "a\\tb\\n\\e\\01\\\n");
    sed.output.clear();
    EXPECT_EQ(sed.engine->pr(0, "%s-%d\n", "x", 5), 4);
    EXPECT_EQ(sed.output, "x-5\n");
    EXPECT_EQ(sed.engine->pr(0, "%s", std::string(5000, 'y').c_str()), -1);
}

TEST(SedOutput, DeletedRunsAreToldApartFromEmptyResults)
{
    struct Row {
        const char *script;
        const char *text;
        bool deleted;
    };
    const Row rows[] = {
        {"d", "a", true},    {"s/a//", "a", false},  {"/x/d", "a", false},        {"D", "a", true},
        {"D", "a\nb", true}, {"$!N;P;D", "a", true}, {"G;s/\\n$//;D", "a", true}, {"c\\\nX", "a", false},
        {"n", "a", true},    {"N", "a", false},      {"g", "a", false},
    };
    for (const Row &row : rows) {
        CapturingSed sed;
        SedRun r = sed.run(row.script, {row.text});
        ASSERT_EQ(r.code, -1) << row.script << r.error;
        EXPECT_EQ(r.deleted.at(0), row.deleted) << row.script;
    }
    // The answer belongs to the last run only, and a run that quits deleted nothing.
    CapturingSed sed;
    SedRun r = sed.run("/a/d", {"a", "b", "a"});
    EXPECT_EQ(r.deleted, (std::vector<bool>{true, false, true}));
    r = sed.run("q", {"a"});
    EXPECT_EQ(r.code, 0);
    EXPECT_FALSE(sed.engine->ended_by_delete());
}

TEST(SedOutput, WriteFiles)
{
    char folder[] = "/tmp/sedw-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::string file = std::string(folder) + "/out";
    {
        CapturingSed sed;
        SedRun r = sed.run("w " + file + "\ns/a/b/w " + file + "\nW " + file, {"a\nz", "c"});
        EXPECT_EQ(r.code, -1) << r.error;
        // A later program naming the same file goes on writing to it.
        for (int i = 0; i < 12; ++i) {
            r = sed.run("s/c/d/w " + file, {"c"});
            ASSERT_EQ(r.code, -1) << i << r.error;
        }
        std::string script;
        for (int i = 0; i < 9; ++i)
            script += "w " + std::string(folder) + "/f" + std::to_string(i) + "\n";
        r = sed.run(script, {"x"});
        EXPECT_EQ(r.error, "sed: too many w files\n");
    }
    std::ifstream in(file);
    std::stringstream content;
    content << in.rdbuf();
    std::string expected = "a\nz\nb\nz\nb\nc\nc\n";
    for (int i = 0; i < 12; ++i)
        expected += "d\n";
    EXPECT_EQ(content.str(), expected);
    std::system((std::string("rm -rf ") + folder).c_str());
}

TEST(SedOutput, StandardStreamsGoThroughTheSinksInOrder)
{
    CapturingSed sed;
    std::string errors;
    sed.engine->set_error_output(
        [](void *to, const char *data, std::size_t length) {
            static_cast<std::string *>(to)->append(data, length);
        },
        &errors);
    SedRun r = sed.run("p\nw /dev/stdout\ns/a/b/w /dev/stdout\np", {"a"});
    EXPECT_EQ(r.output, "a\na\nb\nb\n");
    r = sed.run("w /dev/stderr\np", {"x"});
    EXPECT_EQ(r.output, "x\n");
    EXPECT_EQ(errors, "x\n");
    // Standard output takes no slot of the file table, however often a program names it.
    for (int i = 0; i < 12; ++i) {
        r = sed.run("w /dev/stdout", {"y"});
        ASSERT_EQ(r.code, -1) << i << r.error;
    }
}

TEST(SedOutput, NextLineAppendWithoutInputCutsNothing)
{
    // N without a next line leaves a full pattern space as it is, without a truncation warning.
    CapturingSed sed;
    const std::string full(4000, 'a');
    SedRun r = sed.run("N", {full});
    EXPECT_EQ(r.results.at(0), full);
    EXPECT_EQ(r.error, "");
    r = sed.run("$!N;s/^/>/", {std::string(3999, 'b')});
    EXPECT_EQ(r.results.at(0), ">" + std::string(3999, 'b'));
    EXPECT_EQ(r.error, "");
}

TEST(SedContexts, SaveLoadAndIds)
{
    auto engine = std::make_unique<SedObj>();
    EXPECT_EQ(engine->context_save(-1), 0);
    EXPECT_EQ(engine->context_save(-1), 1);
    EXPECT_EQ(engine->context_load(5), -1);
    EXPECT_EQ(engine->context_load(-1), -1);
    EXPECT_EQ(engine->context_save(2), -1);
    EXPECT_EQ(engine->get_context_id(), 1);

    engine->recompile("s/a/A/");
    EXPECT_EQ(engine->context_save(0), 0);
    engine->recompile("/s/,/e/s/$/!/");
    EXPECT_EQ(engine->context_save(1), 1);
    EXPECT_STREQ(engine->execute_commands("s"), "s!");
    EXPECT_EQ(engine->context_load(0), 0);
    EXPECT_EQ(engine->get_context_id(), 0);
    EXPECT_STREQ(engine->execute_commands("a"), "A");
    // The saved range was closed when it was saved; the live one stays in the slot as saved.
    EXPECT_EQ(engine->context_load(1), 0);
    EXPECT_STREQ(engine->execute_commands("x"), "x");
    EXPECT_EQ(engine->context_save(1), 1);
    EXPECT_STREQ(engine->execute_commands("s"), "s!");
    EXPECT_EQ(engine->context_load(1), 0);
    EXPECT_STREQ(engine->execute_commands("x"), "x");

    for (int i = 2; i < SedObj::contextCount; ++i)
        ASSERT_EQ(engine->context_save(-1), i);
    EXPECT_EQ(engine->context_save(-1), -1);
}

TEST(SedEntry, MainEntryAndNullTexts)
{
    CapturingSed sed;
    SedObj &e = *sed.engine;
    EXPECT_EQ(e.main_entry(nullptr, "a"), nullptr);
    EXPECT_STREQ(e.main_entry("s/a/b/", "a"), "b");
    EXPECT_STREQ(e.main_entry(nullptr, "aa"), "ba");
    EXPECT_EQ(e.main_entry("", "a"), nullptr);
    EXPECT_EQ(e.execute_commands(nullptr), nullptr);
    e.recompile("s/a/b/");
    e.clear_current_context();
    EXPECT_STREQ(e.execute_commands("a"), "a");
}

TEST(SedEntry, TextsOverTheLimitAreRefused)
{
    CapturingSed sed;
    SedRun r = sed.run("s/a/b/", {std::string(4000, 'a')});
    EXPECT_EQ(r.code, -1);
    r = sed.run("s/a/b/", {std::string(4001, 'a')});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.error, "sed: text too long\n");
    EXPECT_EQ(sed.engine->status(), 2);
    try {
        sed.engine->main_entry("p", std::string(5000, 'x').c_str());
        ADD_FAILURE() << "no exception";
    } catch (const SedObjException &e) {
        EXPECT_EQ(e.code(), 2);
    }
}
