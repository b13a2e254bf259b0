#pragma once

// What the match and sed function objects share: their answers to the typed operations they do not
// support, their argument checks and the way they drive their sed engine.

#include "EXL_Function.h"

#include <string>

class SedObj;

namespace ze {

// Reports "Not supported assignment" and throws EXL_ErrorException("").
[[noreturn]] void notSupportedAssignment(const EXL_Base &where);
// Reports "Not supported operand type <<type>> in the expression" and throws EXL_ErrorException("").
[[noreturn]] void notSupportedOperand(const EXL_Base &where, const char *type);
// Throws EXL_TypeDoesNotMatchException("can't convert to <<type>>") without reporting.
[[noreturn]] void cannotConvert(const char *type);

// Fails the bind with EXL_ImproperTypeOfArgument(first or second) unless both arguments are
// string-typed.
void requireStringArguments(const EXL_Base &where, const EXL_ExpressionVector &arguments, const char *first,
                            const char *second);

// Evaluates both arguments, then reads them as strings (first, second).
struct StringArguments {
    std::string first;
    std::string second;
};
StringArguments evaluateStringArguments(const EXL_ExpressionVector &arguments);

// The compiled program of one engine and the text it was compiled from. A failed compile leaves the
// engine with a broken program, so it marks the cache stale and the next evaluation recompiles.
struct CompiledText {
    std::string &text;
    bool &valid;
};

// Compiles program (made from key) unless key is what the engine holds already. A non-zero answer of
// the engine is reported and thrown as EXL_BaseException("Error compiling RE: ..."); an engine error
// (SedObjException) is reported with the engine's message and passed on.
void compileIfChanged(const EXL_Base &where, SedObj &engine, CompiledText cache, const std::string &key,
                      const std::string &program);
// Runs the engine over text and yields the result. Engine errors are reported and passed on; an
// engine that yields no result is reported and thrown as EXL_BaseException("Error executing RE: ...").
const char *run(const EXL_Base &where, SedObj &engine, const std::string &text);
// Reports and throws EXL_BaseException(prefix + the engine's error text).
[[noreturn]] void engineFailure(const EXL_Base &where, const SedObj &engine, const char *prefix);

} // namespace ze

// Overrides that refuse one typed form, every forward form or every reverse form of a group.
#define ZE_DENY(OP, RET, SUFFIX, ARG, NAME)                                                                  \
    RET OP##SUFFIX(ARG) override { NotSupported(EXL_OpName(EXL_Op::OP), NAME); }
#define ZE_DENY_REVERSE(OP, RET, SUFFIX, ARG, NAME)                                                          \
    RET r##OP##SUFFIX(ARG) override { NotSupported(EXL_OpName(EXL_Op::OP), NAME); }
#define ZE_DENY_FORWARD_FORMS(OP, RET) EXL_OPERAND_FORMS(ZE_DENY, OP, RET)
#define ZE_DENY_REVERSE_FORMS(OP, RET) EXL_OPERAND_FORMS(ZE_DENY_REVERSE, OP, RET)
#define ZE_DENY_GROUP(OP, RET) ZE_DENY_FORWARD_FORMS(OP, RET) ZE_DENY_REVERSE_FORMS(OP, RET)

#define ZE_DENY_ASSIGN(OP, RET, SUFFIX, ARG, NAME)                                                           \
    void rAssign##SUFFIX(ARG) override { ze::notSupportedAssignment(*this); }

// The forms taking another expression hand this value (typed by SUFFIX) to the other operand; != is
// the negation of ==.
#define ZE_FORWARD_TO_OPERAND(SUFFIX, VALUE)                                                                 \
    bool Equal(EXL_Expression &other) override { return other.rEqual##SUFFIX(VALUE); }                       \
    bool NotEqual(EXL_Expression &other) override { return !Equal(other); }                                  \
    bool Greater(EXL_Expression &other) override { return other.rGreater##SUFFIX(VALUE); }                   \
    bool Less(EXL_Expression &other) override { return other.rLess##SUFFIX(VALUE); }                         \
    bool GreaterEqual(EXL_Expression &other) override { return other.rGreaterEqual##SUFFIX(VALUE); }         \
    bool LessEqual(EXL_Expression &other) override { return other.rLessEqual##SUFFIX(VALUE); }               \
    EXL_Variant Add(EXL_Expression &other) override { return other.rAdd##SUFFIX(VALUE); }                    \
    EXL_Variant Sub(EXL_Expression &other) override { return other.rSub##SUFFIX(VALUE); }                    \
    EXL_Variant Mod(EXL_Expression &other) override { return other.rMod##SUFFIX(VALUE); }                    \
    EXL_Variant Mul(EXL_Expression &other) override { return other.Mul##SUFFIX(VALUE); }                     \
    EXL_Variant Div(EXL_Expression &other) override { return other.rDiv##SUFFIX(VALUE); }

// The seven properties answer 0; assignment of an expression is refused.
#define ZE_FUNCTION_PROPERTIES                                                                               \
    int IsConstant() override { return 0; }                                                                  \
    int IsVariable() override { return 0; }                                                                  \
    int IsAssignable() override { return 0; }                                                                \
    int IsAggregate() override { return 0; }                                                                 \
    int ElementCount() override { return 0; }                                                                \
    int Reset() override { return 0; }                                                                       \
    int Optimize() override { return 0; }                                                                    \
    void Assign(EXL_Expression &) override { ze::notSupportedAssignment(*this); }

// Result creation refused for an operand type.
#define ZE_DENY_RESULT(SUFFIX, NAME)                                                                         \
    EXL_Expression *CreateResult##SUFFIX() override { ze::notSupportedOperand(*this, NAME); }
#define ZE_DENY_VARIABLE_RESULT                                                                              \
    EXL_Expression *CreateResultVariable(EXL_VariableAbstract &) override                                    \
    {                                                                                                        \
        ze::notSupportedOperand(*this, "VariableAbstract");                                                  \
    }
