#pragma once

#include "EXL_Export.h"

#include <string>

// Type codes that every expression reports after it was bound.
enum EXL_TypeCode : int {
    EXL_TYPE_NONE = 0,
    EXL_TYPE_LONG = 1,
    EXL_TYPE_STRING = 2,
    EXL_TYPE_DOUBLE = 3,
    EXL_TYPE_BOOL = 4,
    EXL_TYPE_DATE = 5,
};

// A point in time: days since 30 December 1899, the fraction being the time of day.
struct EXL_EXPORT EXL_Date {
    double days = 0.0;
};

class EXL_Base;

// One value of any of the framework's types. Conversions that make no sense throw
// EXL_TypeDoesNotMatchException("can't convert to <type>").
class EXL_EXPORT EXL_Variant {
public:
    EXL_Variant() = default;
    explicit EXL_Variant(long v) : m_type(EXL_TYPE_LONG), m_long(v) {}
    explicit EXL_Variant(double v) : m_type(EXL_TYPE_DOUBLE), m_double(v) {}
    explicit EXL_Variant(bool v) : m_type(EXL_TYPE_BOOL), m_bool(v) {}
    explicit EXL_Variant(std::string v) : m_type(EXL_TYPE_STRING), m_string(std::move(v)) {}
    explicit EXL_Variant(const EXL_Date &v) : m_type(EXL_TYPE_DATE), m_double(v.days) {}

    int type() const { return m_type; }
    double asDouble() const;
    long asLong() const;
    bool asBool() const;
    std::string asString() const;
    // The text of a string value without a copy (empty for the other types).
    const std::string &text() const { return m_string; }
    EXL_Date asDate() const;
    // The value as text; format is a printf conversion for numbers (for example "%.2f"), or null.
    std::string format(const char *format) const;

    // The name of a type code as messages write it: "double", "long", "string", "bool", "date".
    static const char *typeName(int type);
    // Type of the result of an arithmetic operation on the two types, or EXL_TYPE_NONE when the
    // framework does not combine them. Strings only join (Add), also with numbers and bools.
    static int combinedType(int left, int right);

private:
    double asDoubleOrDate() const;

    int m_type = EXL_TYPE_NONE;
    long m_long = 0;
    double m_double = 0.0;
    bool m_bool = false;
    std::string m_string;
};

// The operations of the typed-expression interface, in the order the interface lists them.
enum class EXL_Op { Equal, NotEqual, Greater, Less, GreaterEqual, LessEqual, Add, Sub, Mod, Mul, Div };

// The operation's name as messages write it ("operator==", ..., "Add", ...).
EXL_EXPORT const char *EXL_OpName(EXL_Op op);

// left op right for a comparison; `where` reports the failure and `operandType` names the operand in it.
EXL_EXPORT bool EXL_Compare(const EXL_Base &where, EXL_Op op, const EXL_Variant &left,
                            const EXL_Variant &right, const char *operandType);
// left op right for Add, Sub, Mod, Mul and Div.
EXL_EXPORT EXL_Variant EXL_Compute(const EXL_Base &where, EXL_Op op, const EXL_Variant &left,
                                   const EXL_Variant &right, const char *operandType);
