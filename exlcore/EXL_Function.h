#pragma once

#include "EXL_Expression.h"

#include <vector>

using EXL_ExpressionVector = std::vector<EXL_Expression *>;

// The function face of a function object: its argument list (owned by the framework) and the
// operations the framework calls on every function.
class EXL_EXPORT EXL_AbstractFunction {
public:
    explicit EXL_AbstractFunction(EXL_ExpressionVector *arguments);
    virtual ~EXL_AbstractFunction();
    // Binds every argument to the scope.
    virtual int Bind(EXL_Scope *scope);
    virtual int Evaluate() = 0;

protected:
    EXL_Expression *Argument(std::size_t index) const { return (*arguments)[index]; }
    std::size_t ArgumentCount() const { return arguments ? arguments->size() : 0; }

    EXL_ExpressionVector *arguments;
};

// A function whose value is a bool.
class EXL_EXPORT EXL_AbstractBoolFunction : public EXL_AbstractFunction, public EXL_BoolExpression {
public:
    explicit EXL_AbstractBoolFunction(EXL_ExpressionVector *arguments);
    ~EXL_AbstractBoolFunction() override;
    int Bind(EXL_Scope *scope) override;
    int Evaluate() override = 0;
};

// A function whose value is a string.
class EXL_EXPORT EXL_AbstractStringFunction : public EXL_AbstractFunction, public EXL_StringExpression {
public:
    explicit EXL_AbstractStringFunction(EXL_ExpressionVector *arguments);
    ~EXL_AbstractStringFunction() override;
    int Bind(EXL_Scope *scope) override;
    int Evaluate() override = 0;
};

// What a plug-in registers with the function plug-in manager: it creates the function objects it
// offers, by name, and answers null for any other name. The manager does not own it.
class EXL_EXPORT FunctionContainer {
public:
    virtual EXL_Expression *createFunction(const char *name, EXL_ExpressionVector *arguments) = 0;

protected:
    ~FunctionContainer() = default;
};
