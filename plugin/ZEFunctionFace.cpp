#include "ZEFunctionFace.h"

#include "EXL_Exceptions.h"
#include "SedObj.h"

namespace ze {

void notSupportedAssignment(const EXL_Base &where)
{
    where.ReportError("Not supported assignment");
    throw EXL_ErrorException("");
}

void notSupportedOperand(const EXL_Base &where, const char *type)
{
    where.ReportError(std::string("Not supported operand type <") + type + "> in the expression");
    throw EXL_ErrorException("");
}

void cannotConvert(const char *type)
{
    throw EXL_TypeDoesNotMatchException(std::string("can't convert to <") + type + ">");
}

void requireStringArguments(const EXL_Base &where, const EXL_ExpressionVector &arguments, const char *first,
                            const char *second)
{
    const char *which[] = {first, second};
    for (std::size_t i = 0; i < 2; ++i) {
        if (arguments[i]->TypeCode() != EXL_TYPE_STRING) {
            where.ReportError("The argument is not <string>");
            throw EXL_ImproperTypeOfArgument(which[i]);
        }
    }
}

StringArguments evaluateStringArguments(const EXL_ExpressionVector &arguments)
{
    arguments[0]->Evaluate();
    arguments[1]->Evaluate();
    return {arguments[0]->AsString(), arguments[1]->AsString()};
}

void engineFailure(const EXL_Base &where, const SedObj &engine, const char *prefix)
{
    const std::string message = prefix + std::string(engine.get_error_string());
    where.ReportError(message);
    throw EXL_BaseException(message);
}

namespace {

// The engine's own message goes to the framework's error report; the exception itself travels on
// unchanged. The q command (code 0) is no error and reports nothing.
void reportEngineError(const EXL_Base &where, const SedObj &engine, const SedObjException &error)
{
    if (error.code() != 0)
        where.ReportError(engine.get_error_string());
}

} // namespace

void compileIfChanged(const EXL_Base &where, SedObj &engine, CompiledText cache, const std::string &key,
                      const std::string &program)
{
    if (cache.valid && key == cache.text)
        return;
    int result = 0;
    try {
        result = engine.recompile(program.c_str());
    } catch (const SedObjException &error) {
        cache.valid = false;
        reportEngineError(where, engine, error);
        throw;
    }
    if (result != 0) {
        cache.valid = false;
        engineFailure(where, engine, "Error compiling RE: ");
    }
    cache.text = key;
    cache.valid = true;
}

const char *run(const EXL_Base &where, SedObj &engine, const std::string &text)
{
    const char *result = nullptr;
    try {
        result = engine.execute_commands(text.c_str());
    } catch (const SedObjException &error) {
        reportEngineError(where, engine, error);
        throw;
    }
    if (!result)
        engineFailure(where, engine, "Error executing RE: ");
    return result;
}

} // namespace ze
