#include "EXL_Function.h"

EXL_AbstractFunction::EXL_AbstractFunction(EXL_ExpressionVector *arguments) : arguments(arguments) {}
EXL_AbstractFunction::~EXL_AbstractFunction() = default;

int EXL_AbstractFunction::Bind(EXL_Scope *scope)
{
    int result = 0;
    if (arguments) {
        for (EXL_Expression *argument : *arguments)
            if (argument->Bind(scope) < 0)
                result = -1;
    }
    return result;
}

EXL_AbstractBoolFunction::EXL_AbstractBoolFunction(EXL_ExpressionVector *arguments)
    : EXL_AbstractFunction(arguments)
{
}
EXL_AbstractBoolFunction::~EXL_AbstractBoolFunction() = default;
int EXL_AbstractBoolFunction::Bind(EXL_Scope *scope) { return EXL_AbstractFunction::Bind(scope); }

EXL_AbstractStringFunction::EXL_AbstractStringFunction(EXL_ExpressionVector *arguments)
    : EXL_AbstractFunction(arguments)
{
}
EXL_AbstractStringFunction::~EXL_AbstractStringFunction() = default;
int EXL_AbstractStringFunction::Bind(EXL_Scope *scope) { return EXL_AbstractFunction::Bind(scope); }
