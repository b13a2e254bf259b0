// Fuzzes Quaystone's service arguments: an input is the argument text of the service directive, split
// into words the way the service configurator splits it, and given to a freshly made module's init.
// The function plug-in manager is loaded once, so that a correct argument list registers a container.
// Unknown arguments are logged and skipped; an unknown manager fails with the framework's exception.

#include "EXL_Exceptions.h"
#include "Quaystone.h"

#include <ace/ARGV.h>
#include <ace/Log_Msg.h>
#include <ace/Service_Config.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Inputs are capped at 4 KiB: a directive's arguments are one short line, and every path through the
// parsing is reached by a handful of words.
constexpr size_t kMaxInput = 4096;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ACE_TCHAR program[] = "quaystone_fuzz";
    ACE_TCHAR noStatic[] = "-n";
    ACE_TCHAR *argv[] = {program, noStatic, nullptr};
    if (ACE_Service_Config::open(2, argv, ACE_DEFAULT_LOGGER_KEY, true, true, true) != 0
        || ACE_Service_Config::process_directive(
               "dynamic FunctionPluginManager Service_Object * exlcore:_make_FunctionPluginManager() \"\"")
               != 0)
        __builtin_trap();
    // Every bad argument is logged; the log would only slow the fuzzer down.
    ACE_LOG_MSG->priority_mask(0, ACE_Log_Msg::PROCESS);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    // The configurator hands over its words as C strings, so a NUL ends the text.
    const std::string text(reinterpret_cast<const char *>(data), size);
    ACE_ARGV words(text.c_str(), false);
    ACE_Service_Object_Exterminator deleter = nullptr;
    ACE_Service_Object *module = __make_Quaystone(&deleter);
    try {
        module->init(words.argc(), words.argv());
    } catch (const EXL_BaseException &) {
    }
    deleter(module);
    return 0;
}
