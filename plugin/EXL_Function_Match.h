#pragma once

#include "EXL_Function.h"
#include "ZEFunctionFace.h"

#include <string>

class SedObj;

// match(text, pattern): true when the regular expression pattern occurs in text. The pattern runs as
// a sed program that deletes the texts it occurs in ("/pattern/d"), on the function's own engine,
// compiled again only when it changes.
class EXL_Function_Match : public EXL_AbstractBoolFunction {
public:
    explicit EXL_Function_Match(EXL_ExpressionVector *arguments);
    ~EXL_Function_Match() override;

    int Bind(EXL_Scope *scope) override;
    int Evaluate() override { return SedEvaluate(); }
    int SedEvaluate();

    double AsDouble() override { return m_value ? 1.0 : 0.0; }
    long AsLong() override { return m_value ? 1 : 0; }
    bool AsBool() override { return m_value; }
    std::string AsString() override { ze::cannotConvert("string"); }
    EXL_Date AsDate() override { ze::cannotConvert("date"); }
    int TypeCode() override { return EXL_TYPE_BOOL; }
    std::string asString(const char *format) override { return EXL_BoolExpression::asString(format); }

    ZE_FORWARD_TO_OPERAND(Bool, m_value)
    // == takes the numeric, bool and variant operands; every other typed comparison or arithmetic
    // form is refused, except the comparisons with the operand on the left.
    ZE_DENY(Equal, bool, String, const std::string &, "string")
    ZE_DENY(Equal, bool, Date, const EXL_Date &, "date")
    ZE_DENY_REVERSE_FORMS(Equal, bool)
    ZE_DENY_GROUP(NotEqual, bool)
    ZE_DENY_FORWARD_FORMS(Greater, bool)
    ZE_DENY_FORWARD_FORMS(Less, bool)
    ZE_DENY_FORWARD_FORMS(GreaterEqual, bool)
    ZE_DENY_FORWARD_FORMS(LessEqual, bool)
#define ZE_DENY_NON_NUMERIC_REVERSE(OP)                                                                      \
    ZE_DENY_REVERSE(OP, bool, String, const std::string &, "string")                                         \
    ZE_DENY_REVERSE(OP, bool, Date, const EXL_Date &, "date")
    ZE_DENY_NON_NUMERIC_REVERSE(Greater)
    ZE_DENY_NON_NUMERIC_REVERSE(Less)
    ZE_DENY_NON_NUMERIC_REVERSE(GreaterEqual)
    ZE_DENY_NON_NUMERIC_REVERSE(LessEqual)
#undef ZE_DENY_NON_NUMERIC_REVERSE
    ZE_DENY_GROUP(Add, EXL_Variant)
    ZE_DENY_GROUP(Sub, EXL_Variant)
    ZE_DENY_GROUP(Mod, EXL_Variant)
    ZE_DENY_FORWARD_FORMS(Mul, EXL_Variant)
    ZE_DENY_GROUP(Div, EXL_Variant)

    ZE_FUNCTION_PROPERTIES
    void rAssignLong(long v) override { m_value = v != 0; }
    void rAssignBool(bool v) override { m_value = v; }
    ZE_DENY_ASSIGN(Assign, void, Double, double, "double")
    ZE_DENY_ASSIGN(Assign, void, String, const std::string &, "string")
    ZE_DENY_ASSIGN(Assign, void, Date, const EXL_Date &, "date")
    ZE_DENY_ASSIGN(Assign, void, Variant, const EXL_Variant &, "variant")

    ZE_DENY_RESULT(Double, "double")
    ZE_DENY_RESULT(Long, "long")
    ZE_DENY_RESULT(String, "string")
    ZE_DENY_RESULT(Bool, "bool")
    ZE_DENY_RESULT(Date, "date")
    ZE_DENY_VARIABLE_RESULT

private:
    SedObj *engine;
    std::string cachedPattern;
    bool cacheValid = false; // nothing is compiled yet, not even for the empty pattern
};
