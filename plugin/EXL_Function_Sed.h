#pragma once

#include "EXL_Function.h"
#include "ZEFunctionFace.h"

#include <string>

class SedObj;

// sed(text, script): runs the sed script once over text and yields the edited text. The script is
// compiled on the function's own engine again only when it changes; what the engine keeps between
// runs (hold space, open ranges, line count) carries from one evaluation to the next.
class EXL_Function_Sed : public EXL_AbstractStringFunction {
public:
    explicit EXL_Function_Sed(EXL_ExpressionVector *arguments);
    ~EXL_Function_Sed() override;

    int Bind(EXL_Scope *scope) override;
    int Evaluate() override { return SedEvaluate(); }
    int SedEvaluate();

    double AsDouble() override { ze::cannotConvert("double"); }
    long AsLong() override { ze::cannotConvert("long"); }
    bool AsBool() override { ze::cannotConvert("bool"); }
    std::string AsString() override { return m_value; }
    EXL_Date AsDate() override { ze::cannotConvert("date"); }
    int TypeCode() override { return EXL_TYPE_STRING; }
    std::string asString(const char *format) override { return EXL_StringExpression::asString(format); }

    ZE_FORWARD_TO_OPERAND(String, m_value)
    // == and Add take string and variant operands; everything else is refused.
#define ZE_DENY_NON_STRING(OP, RET, DENY)                                                                    \
    DENY(OP, RET, Double, double, "double")                                                                  \
    DENY(OP, RET, Long, long, "long")                                                                        \
    DENY(OP, RET, Bool, bool, "bool")                                                                        \
    DENY(OP, RET, Date, const EXL_Date &, "date")
    ZE_DENY_NON_STRING(Equal, bool, ZE_DENY)
    ZE_DENY_REVERSE_FORMS(Equal, bool)
    ZE_DENY_GROUP(NotEqual, bool)
    ZE_DENY_GROUP(Greater, bool)
    ZE_DENY_GROUP(Less, bool)
    ZE_DENY_GROUP(GreaterEqual, bool)
    ZE_DENY_GROUP(LessEqual, bool)
    ZE_DENY_NON_STRING(Add, EXL_Variant, ZE_DENY)
    ZE_DENY_NON_STRING(Add, EXL_Variant, ZE_DENY_REVERSE)
#undef ZE_DENY_NON_STRING
    ZE_DENY_GROUP(Sub, EXL_Variant)
    ZE_DENY_GROUP(Mod, EXL_Variant)
    ZE_DENY_FORWARD_FORMS(Mul, EXL_Variant)
    ZE_DENY_GROUP(Div, EXL_Variant)

    ZE_FUNCTION_PROPERTIES
    void rAssignString(const std::string &v) override { m_value = v; }
    ZE_DENY_ASSIGN(Assign, void, Double, double, "double")
    ZE_DENY_ASSIGN(Assign, void, Long, long, "long")
    ZE_DENY_ASSIGN(Assign, void, Bool, bool, "bool")
    ZE_DENY_ASSIGN(Assign, void, Date, const EXL_Date &, "date")
    ZE_DENY_ASSIGN(Assign, void, Variant, const EXL_Variant &, "variant")

    ZE_DENY_RESULT(Double, "double")
    ZE_DENY_RESULT(Long, "long")
    EXL_Expression *CreateResultString() override { return new EXL_StringExpression(); }
    ZE_DENY_RESULT(Bool, "bool")
    ZE_DENY_RESULT(Date, "date")
    ZE_DENY_VARIABLE_RESULT

private:
    SedObj *engine;
    std::string cachedScript;
    bool cacheValid = true; // the engine's initial empty program stands for the empty script
};
