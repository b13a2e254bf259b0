// Helpers shared by the sed engine tests: an engine whose standard output is captured, and one
// call that compiles a script, runs it over a series of texts and reports what happened.
#pragma once

#include "SedObj.h"

#include <memory>
#include <string>
#include <vector>

struct SedRun {
    std::vector<std::string> results; // pattern space after each run
    std::vector<bool> deleted;        // ended_by_delete() after each run
    std::string output;               // what the engine wrote to its standard output
    std::string error;                // error text after the last step
    int code = -1;                    // SedObjException code, -1 when none was thrown
};

class CapturingSed {
public:
    CapturingSed() : engine(std::make_unique<SedObj>()) { engine->set_output(&CapturingSed::collect, this); }

    SedRun run(const std::string &script, const std::vector<std::string> &texts)
    {
        SedRun r;
        output.clear();
        try {
            engine->recompile(script.c_str());
            for (const std::string &text : texts) {
                const char *result = engine->execute_commands(text.c_str());
                r.results.emplace_back(result, engine->text_length());
                r.deleted.push_back(engine->ended_by_delete());
            }
        } catch (const SedObjException &e) {
            r.code = e.code();
        }
        r.output = output;
        r.error = engine->get_error_string();
        return r;
    }

    std::unique_ptr<SedObj> engine;
    std::string output;

private:
    static void collect(void *self, const char *data, std::size_t length)
    {
        static_cast<CapturingSed *>(self)->output.append(data, length);
    }
};

// One fresh engine, one script, one text: the result, or "EXC<code>:<message>" when it threw.
inline std::string sedOnce(const std::string &script, const std::string &text)
{
    CapturingSed sed;
    SedRun r = sed.run(script, {text});
    if (r.code >= 0)
        return "EXC" + std::to_string(r.code) + ":" + r.error;
    return r.results.at(0);
}
