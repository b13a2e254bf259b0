// Fuzz target of the sed engine: compiles a random script and runs it over random texts, once with
// the matcher's failed-state memory from the first step and once with its default, and checks that
// both give the same results.  The two may count their work differently, so when either reaches
// the work budget ("sed: RE too complex", "sed: script runs too long") the results are not
// compared.  The budget is a sixty-fourth of the default so that an input stays well within the
// fuzzer's time limit with the sanitizers.
//
// No run of the engine may take long: every search and every run has a work bound.  The options in
// run-sed-fuzz cap one input's time (-timeout), so an input that takes longer is a finding.
//
// Input: one option byte, the script, then texts, separated by NUL bytes.
//   option bit 0: run the texts through main_entry instead of execute_commands
//   option bit 1: save the program in a context, clear it and load it back before the runs
//   option bit 2: first compile the last text as a script and run it over the texts (errors
//                 ignored), so that the real script finds the tables of another program and
//                 other searches in the engine; what it clears lazily must not leak into results
// Caps: inputs are cut at 16384 bytes (-max_len); at most 8 texts are run.  Scripts past 3999
// characters and texts past 4000 are refused by the engine itself, which is part of what is tested.
// w files are created in a scratch folder; a script whose w, W or l line names a path with "/" is
// skipped so that no file outside that folder is written.
#include "SedObj.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void discard(void *, const char *, std::size_t) {}

bool writesOutsideScratch(const std::string &script)
{
    std::size_t start = 0;
    while (start <= script.size()) {
        std::size_t end = script.find('\n', start);
        if (end == std::string::npos)
            end = script.size();
        const std::string line = script.substr(start, end - start);
        if (line.find_first_of("wWl") != std::string::npos && line.find('/') != std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

struct Outcome {
    std::vector<std::string> results;
    int code = -1;
    std::string error;
};

Outcome runAll(SedObj &engine, const std::string &script, const std::vector<std::string> &texts, int options)
{
    Outcome out;
    if ((options & 4) && !texts.empty()) {
        try {
            engine.recompile(texts.back().c_str());
            for (const std::string &text : texts)
                engine.execute_commands(text.c_str());
        } catch (const SedObjException &) {
        }
    }
    try {
        engine.recompile(script.c_str());
        if (options & 2) {
            const int id = engine.context_save(-1);
            engine.clear_current_context();
            if (engine.context_load(id) != 0)
                abort();
        }
        for (const std::string &text : texts) {
            const char *result = (options & 1) ? engine.main_entry(nullptr, text.c_str())
                                               : engine.execute_commands(text.c_str());
            if (!result) {
                out.results.emplace_back("<null>");
                continue;
            }
            const std::size_t length = engine.text_length();
            if (length > static_cast<std::size_t>(SedObj::maxText) || result[length] != 0)
                abort();
            out.results.emplace_back(result, length);
        }
    } catch (const SedObjException &e) {
        out.code = e.code();
    }
    out.error = engine.get_error_string();
    if (out.error.size() >= static_cast<std::size_t>(SedObj::errorSize))
        abort();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char folder[] = "/tmp/sed-fuzz-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > 16384)
        return 0;
    const int options = data[0];
    std::vector<std::string> parts;
    std::string current;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0) {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    parts.push_back(current);
    const std::string script = parts[0];
    if (writesOutsideScratch(script))
        return 0;
    std::vector<std::string> texts(parts.begin() + 1, parts.end());
    if (texts.size() > 8)
        texts.resize(8);

    static unsigned long inputs = 0;
    if (++inputs % 2000 == 0 && std::system("rm -f ./* 2>/dev/null") != 0) {
    }

    // Fresh engines for every input, built in place in fixed storage: allocating 4 MB twice per
    // input would slow the fuzzer down more than it runs the engine.
    alignas(SedObj) static unsigned char storage[sizeof(SedObj)];
    Outcome remembered;
    Outcome plain;
    for (int pass = 0; pass < 2; ++pass) {
        SedObj *engine = new (storage) SedObj;
        engine->set_output(discard, nullptr);
        engine->set_work_budget(SedObj::workBudget / 64);
        if (pass == 0)
            engine->set_memo_threshold(0);
        (pass == 0 ? remembered : plain) = runAll(*engine, script, texts, options);
        engine->~SedObj();
    }
    for (const char *bound : {"sed: RE too complex\n", "sed: script runs too long\n"})
        if (remembered.error == bound || plain.error == bound)
            return 0;
    if (remembered.results != plain.results || remembered.code != plain.code
        || remembered.error != plain.error)
        abort();
    return 0;
}
