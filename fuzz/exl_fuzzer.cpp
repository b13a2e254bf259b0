// Fuzzes the expression language: an input is an expression, parsed, bound to a scope with the
// variables "line" and "lineno" and evaluated. Deep nesting must be refused as a syntax error, never
// overflow the stack; numbers, strings and operators must never reach undefined behaviour. Functions
// are unknown here (no plug-in is registered), so calls are parsed and then refused.

#include "EXL_Exceptions.h"
#include "EXL_Parser.h"
#include "FunctionPluginManager.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Inputs up to 256 KiB: enough for expressions two hundred times deeper than the nesting bound, so the
// bound is tried in every form (operator chains, parentheses, prefix operators, call arguments).
constexpr size_t kMaxInput = 256 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    static FunctionPluginManager manager(nullptr, nullptr);
    EXL_Scope scope;
    scope.Declare("line", EXL_TYPE_STRING)->Set(EXL_Variant(std::string("some text")));
    scope.Declare("lineno", EXL_TYPE_LONG)->Set(EXL_Variant(7L));
    try {
        auto program = EXL_Parse(std::string(reinterpret_cast<const char *>(data), size), &manager);
        program->Bind(&scope);
        program->Evaluate();
        (void)program->root()->asString(nullptr);
    } catch (const EXL_BaseException &) {
    }
    return 0;
}
