#include "EXL_Function_Match.h"

#include "SedObj.h"

EXL_Function_Match::EXL_Function_Match(EXL_ExpressionVector *arguments)
    : EXL_AbstractBoolFunction(arguments), engine(new SedObj())
{
}

EXL_Function_Match::~EXL_Function_Match() { delete engine; }

int EXL_Function_Match::Bind(EXL_Scope *scope)
{
    const int result = EXL_AbstractBoolFunction::Bind(scope);
    ze::requireStringArguments(*this, *arguments, "match (first arg)", "match (second arg)");
    return result;
}

int EXL_Function_Match::SedEvaluate()
{
    const auto [text, pattern] = ze::evaluateStringArguments(*arguments);
    // The program deletes the text when the pattern occurs in it, and marks every text it keeps, so
    // that an empty text without the pattern is not taken for a deleted one.
    ze::compileIfChanged(*this, *engine, {cachedPattern, cacheValid}, pattern, "/" + pattern + "/d\ns/^/x/");
    m_value = *ze::run(*this, *engine, text) == '\0';
    return 0;
}
