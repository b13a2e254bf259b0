#include "EXL_Value.h"

#include "EXL_Exceptions.h"
#include "EXL_Expression.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ctime>

namespace {

[[noreturn]] void cannotConvert(const char *type)
{
    throw EXL_TypeDoesNotMatchException(std::string("can't convert to <") + type + ">");
}

bool isNumeric(int type) { return type == EXL_TYPE_LONG || type == EXL_TYPE_DOUBLE || type == EXL_TYPE_BOOL; }

[[noreturn]] void unsupported(const EXL_Base &where, EXL_Op op, const char *operandType)
{
    where.NotSupported(EXL_OpName(op), operandType);
}

std::string dateText(double days)
{
    // Day 0 is 30 December 1899; the Unix epoch is day 25569.
    const double seconds = std::round((days - 25569.0) * 86400.0);
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

} // namespace

double EXL_Variant::asDouble() const
{
    switch (m_type) {
    case EXL_TYPE_LONG:
        return static_cast<double>(m_long);
    case EXL_TYPE_DOUBLE:
    case EXL_TYPE_DATE:
        return m_double;
    case EXL_TYPE_BOOL:
        return m_bool ? 1.0 : 0.0;
    default:
        cannotConvert("double");
    }
}

long EXL_Variant::asLong() const
{
    switch (m_type) {
    case EXL_TYPE_LONG:
        return m_long;
    case EXL_TYPE_DOUBLE:
        if (!std::isfinite(m_double) || std::fabs(m_double) >= 9.2e18)
            cannotConvert("long");
        return static_cast<long>(m_double);
    case EXL_TYPE_BOOL:
        return m_bool ? 1 : 0;
    default:
        cannotConvert("long");
    }
}

bool EXL_Variant::asBool() const
{
    switch (m_type) {
    case EXL_TYPE_LONG:
        return m_long != 0;
    case EXL_TYPE_DOUBLE:
        return m_double != 0.0;
    case EXL_TYPE_BOOL:
        return m_bool;
    default:
        cannotConvert("bool");
    }
}

std::string EXL_Variant::asString() const { return format(nullptr); }

EXL_Date EXL_Variant::asDate() const
{
    switch (m_type) {
    case EXL_TYPE_LONG:
    case EXL_TYPE_DOUBLE:
    case EXL_TYPE_DATE:
        return EXL_Date{asDoubleOrDate()};
    default:
        cannotConvert("date");
    }
}

double EXL_Variant::asDoubleOrDate() const
{
    return m_type == EXL_TYPE_LONG ? static_cast<double>(m_long) : m_double;
}

std::string EXL_Variant::format(const char *format) const
{
    const bool custom = format && *format;
    char text[512];
    switch (m_type) {
    case EXL_TYPE_LONG:
        std::snprintf(text, sizeof text, custom ? format : "%ld", m_long);
        return text;
    case EXL_TYPE_DOUBLE:
        if (custom) {
            std::snprintf(text, sizeof text, format, m_double);
            return text;
        } else {
            // The shortest text that reads back as the same number.
            const auto result = std::to_chars(text, text + sizeof text, m_double);
            return std::string(text, result.ptr);
        }
    case EXL_TYPE_BOOL:
        return m_bool ? "true" : "false";
    case EXL_TYPE_STRING:
        if (custom) {
            std::snprintf(text, sizeof text, format, m_string.c_str());
            return text;
        }
        return m_string;
    case EXL_TYPE_DATE:
        return dateText(m_double);
    default:
        return std::string();
    }
}

const char *EXL_Variant::typeName(int type)
{
    switch (type) {
    case EXL_TYPE_LONG:
        return "long";
    case EXL_TYPE_STRING:
        return "string";
    case EXL_TYPE_DOUBLE:
        return "double";
    case EXL_TYPE_BOOL:
        return "bool";
    case EXL_TYPE_DATE:
        return "date";
    default:
        return "none";
    }
}

int EXL_Variant::combinedType(int left, int right)
{
    // A string joins with another string or with the text of a number or bool.
    if (left == EXL_TYPE_STRING || right == EXL_TYPE_STRING)
        return left == EXL_TYPE_DATE || right == EXL_TYPE_DATE || left == EXL_TYPE_NONE
                       || right == EXL_TYPE_NONE
                   ? EXL_TYPE_NONE
                   : EXL_TYPE_STRING;
    if (left == EXL_TYPE_BOOL || right == EXL_TYPE_BOOL || left == EXL_TYPE_NONE || right == EXL_TYPE_NONE)
        return EXL_TYPE_NONE;
    if (left == EXL_TYPE_DATE || right == EXL_TYPE_DATE)
        return EXL_TYPE_DATE;
    return left == EXL_TYPE_DOUBLE || right == EXL_TYPE_DOUBLE ? EXL_TYPE_DOUBLE : EXL_TYPE_LONG;
}

const char *EXL_OpName(EXL_Op op)
{
    static const char *const names[] = {"operator==", "operator!=", "operator>", "operator<",
                                        "operator>=", "operator<=", "Add",       "Sub",
                                        "Mod",        "Mul",        "Div"};
    return names[static_cast<int>(op)];
}

bool EXL_Compare(const EXL_Base &where, EXL_Op op, const EXL_Variant &left, const EXL_Variant &right,
                 const char *operandType)
{
    int order = 0;
    const int a = left.type(), b = right.type();
    if (a == EXL_TYPE_STRING && b == EXL_TYPE_STRING) {
        order = left.asString().compare(right.asString());
    } else if (a == EXL_TYPE_LONG && b == EXL_TYPE_LONG) {
        order = left.asLong() < right.asLong() ? -1 : left.asLong() > right.asLong() ? 1 : 0;
    } else if ((isNumeric(a) || a == EXL_TYPE_DATE) && (isNumeric(b) || b == EXL_TYPE_DATE)
               && (a == EXL_TYPE_DATE) == (b == EXL_TYPE_DATE)) {
        const double x = left.asDouble(), y = right.asDouble();
        order = x < y ? -1 : x > y ? 1 : 0;
    } else {
        unsupported(where, op, operandType);
    }
    switch (op) {
    case EXL_Op::Equal:
        return order == 0;
    case EXL_Op::NotEqual:
        return order != 0;
    case EXL_Op::Greater:
        return order > 0;
    case EXL_Op::Less:
        return order < 0;
    case EXL_Op::GreaterEqual:
        return order >= 0;
    case EXL_Op::LessEqual:
        return order <= 0;
    default:
        unsupported(where, op, operandType);
    }
}

EXL_Variant EXL_Compute(const EXL_Base &where, EXL_Op op, const EXL_Variant &left, const EXL_Variant &right,
                        const char *operandType)
{
    const int type = EXL_Variant::combinedType(left.type(), right.type());
    if (type == EXL_TYPE_STRING) {
        if (op != EXL_Op::Add)
            unsupported(where, op, operandType);
        return EXL_Variant(left.asString() + right.asString());
    }
    if (type == EXL_TYPE_LONG) {
        const long x = left.asLong(), y = right.asLong();
        long result = 0;
        bool overflow = false;
        switch (op) {
        case EXL_Op::Add:
            overflow = __builtin_add_overflow(x, y, &result);
            break;
        case EXL_Op::Sub:
            overflow = __builtin_sub_overflow(x, y, &result);
            break;
        case EXL_Op::Mul:
            overflow = __builtin_mul_overflow(x, y, &result);
            break;
        case EXL_Op::Div:
        case EXL_Op::Mod:
            if (y == 0) {
                where.ReportError("Division by zero");
                throw EXL_ErrorException("Division by zero");
            }
            overflow = x == std::numeric_limits<long>::min() && y == -1;
            result = overflow ? 0 : op == EXL_Op::Div ? x / y : x % y;
            break;
        default:
            unsupported(where, op, operandType);
        }
        if (overflow) {
            where.ReportError("Integer overflow");
            throw EXL_ErrorException("Integer overflow");
        }
        return EXL_Variant(result);
    }
    if (type == EXL_TYPE_DOUBLE || type == EXL_TYPE_DATE) {
        const double x = left.asDouble(), y = right.asDouble();
        double result = 0;
        switch (op) {
        case EXL_Op::Add:
            result = x + y;
            break;
        case EXL_Op::Sub:
            result = x - y;
            break;
        case EXL_Op::Mul:
            result = x * y;
            break;
        case EXL_Op::Div:
            result = x / y;
            break;
        case EXL_Op::Mod:
            result = std::fmod(x, y);
            break;
        default:
            unsupported(where, op, operandType);
        }
        return type == EXL_TYPE_DATE ? EXL_Variant(EXL_Date{result}) : EXL_Variant(result);
    }
    unsupported(where, op, operandType);
}
