#include "EXL_Function_Sed.h"

#include "SedObj.h"

EXL_Function_Sed::EXL_Function_Sed(EXL_ExpressionVector *arguments)
    : EXL_AbstractStringFunction(arguments), engine(new SedObj())
{
}

EXL_Function_Sed::~EXL_Function_Sed() { delete engine; }

int EXL_Function_Sed::Bind(EXL_Scope *scope)
{
    const int result = EXL_AbstractStringFunction::Bind(scope);
    ze::requireStringArguments(*this, *arguments, "Sed (first arg)", "Sed (second arg)");
    return result;
}

int EXL_Function_Sed::SedEvaluate()
{
    const auto [text, script] = ze::evaluateStringArguments(*arguments);
    ze::compileIfChanged(*this, *engine, {cachedScript, cacheValid}, script, script);
    const char *result = ze::run(*this, *engine, text);
    m_value.assign(result, engine->text_length());
    return 0;
}
