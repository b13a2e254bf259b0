// The sed engine beside POSIX regexec and std::regex on the same patterns and texts:
// match-style use (compiled once, one search per text) and sed-style s///g per text; and, with the
// argument "pathological", the time of REs that explode under plain backtracking.
#include "SedObj.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <regex.h>
#include <regex>
#include <string>
#include <vector>

namespace {

std::vector<std::string> logLines()
{
    std::mt19937 random(7);
    const char *levels[] = {"INFO", "WARN", "DEBUG", "ERROR"};
    const char *paths[] = {"/cgi-bin/Vellum.exe", "/index.html", "/img/logo.png", "/api/v1/items"};
    std::vector<std::string> lines;
    for (int i = 0; i < 64; ++i) {
        std::string line = "2026-12-09 00:" + std::to_string(10 + random() % 50) + ":"
                           + std::to_string(10 + random() % 50) + " " + levels[random() % 4] + " 192.168."
                           + std::to_string(random() % 256) + "." + std::to_string(random() % 256) + " GET "
                           + paths[random() % 4] + "?user=u" + std::to_string(random() % 1000)
                           + "&id=" + std::to_string(random() % 100000) + " HTTP/1.1 200 "
                           + std::to_string(random() % 20000) + " bytes sent to client";
        while (line.size() < 80 + random() % 120)
            line += " tail" + std::to_string(random() % 10);
        if (i % 5 == 0)
            line += " end";
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> longTexts()
{
    std::vector<std::string> texts;
    const std::vector<std::string> lines = logLines();
    for (int t = 0; t < 4; ++t) {
        std::string text;
        for (std::size_t i = t; text.size() < 3990; ++i)
            text += lines[i % lines.size()] + " ";
        text.resize(3990);
        texts.push_back(text);
    }
    return texts;
}

struct Pattern {
    const char *name;
    const char *re;
};

const Pattern patterns[] = {
    {"literal", "ERROR"},
    {"class", "[0-9][0-9]*\\.[0-9][0-9]*\\.[0-9]"},
    {"anchored", "^2026-12-09 00:1"},
    {"backref", "\\([a-z]\\)\\1"},
    {"dotstar", ".*user=.*id=.*end"},
    {"absent", "xyzzy"},
};

const std::vector<std::string> &texts(bool isLong)
{
    static const std::vector<std::string> shortOnes = logLines();
    static const std::vector<std::string> longOnes = longTexts();
    return isLong ? longOnes : shortOnes;
}

void engineMatch(benchmark::State &state, const char *re, bool isLong)
{
    auto engine = std::make_unique<SedObj>();
    engine->recompile((std::string("/") + re + "/d").c_str());
    const auto &set = texts(isLong);
    std::size_t i = 0;
    for (auto _ : state) {
        const char *result = engine->execute_commands(set[i++ % set.size()].c_str());
        benchmark::DoNotOptimize(result[0] == 0);
    }
}

void posixMatch(benchmark::State &state, const char *re, bool isLong)
{
    regex_t compiled;
    regcomp(&compiled, re, REG_NOSUB);
    const auto &set = texts(isLong);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(regexec(&compiled, set[i++ % set.size()].c_str(), 0, nullptr, 0) == 0);
    regfree(&compiled);
}

// The same pattern in std::regex's ECMAScript grammar (its basic grammar mishandles groups).
std::regex stdRegex(const char *re, std::regex::flag_type extra)
{
    std::string out;
    for (const char *p = re; *p; ++p) {
        if (p[0] == '\\' && (p[1] == '(' || p[1] == ')')) {
            out += *++p;
            continue;
        }
        out += *p;
    }
    return std::regex(out, std::regex::ECMAScript | extra);
}

void stdMatch(benchmark::State &state, const char *re, bool isLong)
{
    const std::regex compiled = stdRegex(re, {});
    const auto &set = texts(isLong);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(std::regex_search(set[i++ % set.size()], compiled));
}

// Global substitution of every digit run and of every "e".
const Pattern substitutions[] = {
    {"digits", "[0-9][0-9]*"},
    {"letter", "e"},
    {"group", "\\([a-z]*\\)=\\([0-9]*\\)"},
};

void engineSubstitute(benchmark::State &state, const char *re, bool isLong)
{
    auto engine = std::make_unique<SedObj>();
    engine->recompile((std::string("s/") + re + "/#/g").c_str());
    const auto &set = texts(isLong);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(engine->execute_commands(set[i++ % set.size()].c_str()));
}

void posixSubstitute(benchmark::State &state, const char *re, bool isLong)
{
    regex_t compiled;
    regcomp(&compiled, re, 0);
    const auto &set = texts(isLong);
    std::size_t i = 0;
    std::string out;
    for (auto _ : state) {
        const std::string &text = set[i++ % set.size()];
        out.clear();
        const char *p = text.c_str();
        int flags = 0;
        regmatch_t m;
        while (*p && regexec(&compiled, p, 1, &m, flags) == 0) {
            out.append(p, static_cast<std::size_t>(m.rm_so));
            out += '#';
            if (m.rm_eo == m.rm_so) {
                if (!p[m.rm_eo])
                    break;
                out += p[m.rm_eo];
                ++m.rm_eo;
            }
            p += m.rm_eo;
            flags = REG_NOTBOL;
        }
        out += p;
        benchmark::DoNotOptimize(out.data());
    }
    regfree(&compiled);
}

void stdSubstitute(benchmark::State &state, const char *re, bool isLong)
{
    const std::regex compiled = stdRegex(re, {});
    const auto &set = texts(isLong);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(std::regex_replace(set[i++ % set.size()], compiled, "#"));
}

void registerAll()
{
    for (bool isLong : {false, true}) {
        const std::string size = isLong ? "4000" : "line";
        for (const Pattern &p : patterns) {
            const std::string base = "match/" + size + "/" + p.name + "/";
            benchmark::RegisterBenchmark((base + "sedobj").c_str(), engineMatch, p.re, isLong);
            benchmark::RegisterBenchmark((base + "regexec").c_str(), posixMatch, p.re, isLong);
            benchmark::RegisterBenchmark((base + "std_regex").c_str(), stdMatch, p.re, isLong);
        }
        for (const Pattern &p : substitutions) {
            const std::string base = "subst/" + size + "/" + p.name + "/";
            benchmark::RegisterBenchmark((base + "sedobj").c_str(), engineSubstitute, p.re, isLong);
            benchmark::RegisterBenchmark((base + "regexec").c_str(), posixSubstitute, p.re, isLong);
            benchmark::RegisterBenchmark((base + "std_regex").c_str(), stdSubstitute, p.re, isLong);
        }
    }
}

// REs that take exponential or high polynomial time under plain backtracking, over texts of up to
// 4000 characters.  Each ends with a result or with the matcher's work bound.
struct Pathological {
    const char *script;
    std::string text;
};

std::vector<Pathological> pathologicalCases()
{
    const std::string a400 = "b" + std::string(400, 'a');
    const std::string a4000 = std::string(3998, 'a') + "bc";
    std::string blocks;
    while (blocks.size() < 3996)
        blocks += "aaab";
    blocks += "bcac";
    return {
        {"s/\\(a\\)a*a*a*\\1c/X/", a400},
        {"s/\\(a\\)a*a*a*\\1c/X/", "b" + std::string(3997, 'a') + "bc"},
        {"s/\\(a*\\)a*\\1c/X/", std::string(1600, 'a')},
        {"s/\\(a*\\)a*\\1c/X/", a4000},
        {"/\\(a\\)a*a*a*\\1c/d\ns/^/x/", a400},        // what match(text, pattern) runs
        {"s/\\(a*\\)*\\1/X/", std::string(4000, 'a')}, // refused when compiled: a starred group
        {"s/\\(a*\\)\\1*\\1*c/X/", a4000},
        {"s/\\(\\(a*\\)\\2*b\\)\\1*\\2c/X/", blocks},
        {"s/\\(a*\\)\\(a*\\)\\1*\\2*\\1\\2c/X/", a4000},
        {"s/\\(.*\\)\\(.*\\)\\(.*\\)\\1\\2\\3c/X/", a4000},
        {"s/\\(a*\\)\\(a*\\)\\(a*\\)\\(a*\\)\\4\\3\\2\\1c/X/g", a4000},
        {"s/\\(a\\)\\1*\\1*\\1*c/X/", a4000},
        {"s/\\(a\\)\\1*x*\\1*[ab]*\\1*c/X/g", a4000},
        {"s/a*a*a*a*a*a*a*a*a*c/X/", a4000},
        {"s/\\(a*\\)*c/X/", a4000},
        {"s/[ab]*[ab]*[ab]*[ab]*a*c/X/g", a4000},
        {"s/.*.*.*.*.*=/X/g", std::string(4000, '=')},
    };
}

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs every case five times and prints the median CPU time of each and the worst of those.
void runPathological()
{
    auto engine = std::make_unique<SedObj>();
    double worst = 0;
    std::string worstScript;
    std::printf("%-44s %6s %10s  %s\n", "script", "chars", "ms", "outcome");
    for (const Pathological &c : pathologicalCases()) {
        std::vector<double> times;
        std::string outcome;
        for (int i = 0; i < 5; ++i) {
            const double begin = threadSeconds();
            try {
                engine->recompile(c.script);
                const char *result = engine->execute_commands(c.text.c_str());
                outcome = std::string(result, std::min<std::size_t>(engine->text_length(), 12));
                if (engine->text_length() > 12)
                    outcome += "...";
            } catch (const SedObjException &) {
                outcome = engine->get_error_string();
                if (!outcome.empty() && outcome.back() == '\n')
                    outcome.pop_back();
            }
            times.push_back(threadSeconds() - begin);
        }
        std::sort(times.begin(), times.end());
        const double ms = times[times.size() / 2] * 1000;
        std::string shown = c.script;
        for (char &ch : shown)
            if (ch == '\n')
                ch = ';';
        std::printf("%-44s %6zu %10.3f  %s\n", shown.c_str(), c.text.size(), ms, outcome.c_str());
        if (ms > worst) {
            worst = ms;
            worstScript = shown;
        }
    }
    std::printf("worst: %.3f ms (%s)\n", worst, worstScript.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    // "sed_bench pathological" times only the REs that explode under plain backtracking.
    if (argc > 1 && std::string(argv[1]) == "pathological") {
        runPathological();
        return 0;
    }
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
