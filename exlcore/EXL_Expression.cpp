#include "EXL_Expression.h"

#include "EXL_Exceptions.h"

namespace {

thread_local std::string lastReportedError;
EXL_Base::ErrorHandler errorHandler = nullptr;
void *errorHandlerContext = nullptr;

} // namespace

EXL_Base::~EXL_Base() = default;

void EXL_Base::ReportError(const std::string &message) const
{
    lastReportedError = message;
    if (errorHandler)
        errorHandler(errorHandlerContext, message);
}

void EXL_Base::SetErrorHandler(ErrorHandler handler, void *context)
{
    errorHandler = handler;
    errorHandlerContext = context;
}

const std::string &EXL_Base::LastReportedError() { return lastReportedError; }

void EXL_Base::ClearReportedError() { lastReportedError.clear(); }

void EXL_Base::NotSupported(const char *operation, const char *type) const
{
    ReportError(std::string("Not supported ") + operation + " <" + type + "> operation");
    throw EXL_ErrorException("");
}

EXL_Expression::~EXL_Expression() = default;
int EXL_Expression::Bind(EXL_Scope *) { return 0; }
int EXL_Expression::Evaluate() { return 0; }

double EXL_Expression::AsDouble() { return Value().asDouble(); }
long EXL_Expression::AsLong() { return Value().asLong(); }
bool EXL_Expression::AsBool() { return Value().asBool(); }
std::string EXL_Expression::AsString() { return Value().asString(); }
EXL_Date EXL_Expression::AsDate() { return Value().asDate(); }
std::string EXL_Expression::asString(const char *format) { return Value().format(format); }

// The form taking another expression hands this value, typed by this expression's type code, to a
// form of the other operand.
#define EXL_DISPATCH(OTHER, FORM)                                                                            \
    switch (TypeCode()) {                                                                                    \
    case EXL_TYPE_LONG:                                                                                      \
        return OTHER.FORM##Long(AsLong());                                                                   \
    case EXL_TYPE_DOUBLE:                                                                                    \
        return OTHER.FORM##Double(AsDouble());                                                               \
    case EXL_TYPE_STRING:                                                                                    \
        return OTHER.FORM##String(AsString());                                                               \
    case EXL_TYPE_BOOL:                                                                                      \
        return OTHER.FORM##Bool(AsBool());                                                                   \
    case EXL_TYPE_DATE:                                                                                      \
        return OTHER.FORM##Date(AsDate());                                                                   \
    default:                                                                                                 \
        return OTHER.FORM##Variant(Value());                                                                 \
    }

#define EXL_DEFINE_TYPED(OP, RET, SUFFIX, ARG, NAME)                                                         \
    RET EXL_Expression::OP##SUFFIX(ARG v) { return EXL_APPLY(OP, Value(), EXL_Variant(v), NAME); }
#define EXL_DEFINE_REVERSE(OP, RET, SUFFIX, ARG, NAME)                                                       \
    RET EXL_Expression::r##OP##SUFFIX(ARG v) { return EXL_APPLY(OP, EXL_Variant(v), Value(), NAME); }

// A group with reverse forms: the form taking an expression and both typed sets, applied by EXL_APPLY.
#define EXL_DEFINE_REVERSIBLE(OP, RET)                                                                       \
    RET EXL_Expression::OP(EXL_Expression &other){EXL_DISPATCH(other, r##OP)} EXL_OPERAND_FORMS(             \
        EXL_DEFINE_TYPED, OP, RET) EXL_OPERAND_FORMS(EXL_DEFINE_REVERSE, OP, RET)

#define EXL_APPLY(OP, LEFT, RIGHT, NAME) EXL_Compare(*this, EXL_Op::OP, LEFT, RIGHT, NAME)
#define EXL_DEFINE_COMPARISON(OP) EXL_DEFINE_REVERSIBLE(OP, bool)
EXL_COMPARISON_GROUPS(EXL_DEFINE_COMPARISON)
#undef EXL_APPLY

#define EXL_APPLY(OP, LEFT, RIGHT, NAME) EXL_Compute(*this, EXL_Op::OP, LEFT, RIGHT, NAME)
#define EXL_DEFINE_ARITHMETIC(OP) EXL_DEFINE_REVERSIBLE(OP, EXL_Variant)
EXL_REVERSIBLE_ARITHMETIC_GROUPS(EXL_DEFINE_ARITHMETIC)
// Multiplication commutes, so the other operand's forward form serves.
EXL_Variant EXL_Expression::Mul(EXL_Expression &other){
    EXL_DISPATCH(other, Mul)} EXL_OPERAND_FORMS(EXL_DEFINE_TYPED, Mul, EXL_Variant)
#undef EXL_APPLY

    int EXL_Expression::IsConstant()
{
    return 0;
}
int EXL_Expression::IsVariable() { return 0; }
int EXL_Expression::IsAssignable() { return 0; }
int EXL_Expression::IsAggregate() { return 0; }
int EXL_Expression::ElementCount() { return 0; }
int EXL_Expression::Reset() { return 0; }
int EXL_Expression::Optimize() { return 0; }

void EXL_Expression::Assign(EXL_Expression &source)
{
    switch (source.TypeCode()) {
    case EXL_TYPE_LONG:
        return rAssignLong(source.AsLong());
    case EXL_TYPE_DOUBLE:
        return rAssignDouble(source.AsDouble());
    case EXL_TYPE_STRING:
        return rAssignString(source.AsString());
    case EXL_TYPE_BOOL:
        return rAssignBool(source.AsBool());
    case EXL_TYPE_DATE:
        return rAssignDate(source.AsDate());
    default:
        return rAssignVariant(source.Value());
    }
}

#define EXL_DEFINE_NO_ASSIGN(OP, RET, SUFFIX, ARG, NAME)                                                     \
    void EXL_Expression::rAssign##SUFFIX(ARG)                                                                \
    {                                                                                                        \
        ReportError("Not supported assignment");                                                             \
        throw EXL_ErrorException("");                                                                        \
    }
EXL_OPERAND_FORMS(EXL_DEFINE_NO_ASSIGN, Assign, void)

EXL_Expression *EXL_Expression::CreateResultOfType(int operandType, const char *operandName)
{
    switch (EXL_Variant::combinedType(TypeCode(), operandType)) {
    case EXL_TYPE_LONG:
        return new EXL_LongExpression();
    case EXL_TYPE_DOUBLE:
        return new EXL_DoubleExpression();
    case EXL_TYPE_STRING:
        return new EXL_StringExpression();
    case EXL_TYPE_DATE:
        return new EXL_DoubleExpression();
    default:
        ReportError(std::string("Not supported operand type <") + operandName + "> in the expression");
        throw EXL_ErrorException("");
    }
}

EXL_Expression *EXL_Expression::CreateResultDouble() { return CreateResultOfType(EXL_TYPE_DOUBLE, "double"); }
EXL_Expression *EXL_Expression::CreateResultLong() { return CreateResultOfType(EXL_TYPE_LONG, "long"); }
EXL_Expression *EXL_Expression::CreateResultString() { return CreateResultOfType(EXL_TYPE_STRING, "string"); }
EXL_Expression *EXL_Expression::CreateResultBool() { return CreateResultOfType(EXL_TYPE_BOOL, "bool"); }
EXL_Expression *EXL_Expression::CreateResultDate() { return CreateResultOfType(EXL_TYPE_DATE, "date"); }
EXL_Expression *EXL_Expression::CreateResultVariable(EXL_VariableAbstract &operand)
{
    return CreateResultOfType(operand.TypeCode(), "VariableAbstract");
}

EXL_Expression *EXL_Expression::CreateResultFor(EXL_Expression &operand)
{
    // A variable whose type is not known yet is asked for as a variable; everything else by its type.
    if (operand.IsVariable() && operand.TypeCode() == EXL_TYPE_NONE)
        return CreateResultVariable(static_cast<EXL_VariableAbstract &>(operand));
    switch (operand.TypeCode()) {
    case EXL_TYPE_LONG:
        return CreateResultLong();
    case EXL_TYPE_DOUBLE:
        return CreateResultDouble();
    case EXL_TYPE_STRING:
        return CreateResultString();
    case EXL_TYPE_BOOL:
        return CreateResultBool();
    default:
        return CreateResultDate();
    }
}

template <typename T>
void EXL_TypedExpression<T>::store(const EXL_Variant &v)
{
    if constexpr (std::is_same_v<T, bool>)
        m_value = v.asBool();
    else if constexpr (std::is_same_v<T, long>)
        m_value = v.asLong();
    else if constexpr (std::is_same_v<T, double>)
        m_value = v.asDouble();
    else
        m_value = v.asString();
}

template class EXL_TypedExpression<bool>;
template class EXL_TypedExpression<long>;
template class EXL_TypedExpression<double>;
template class EXL_TypedExpression<std::string>;

EXL_BoolExpression::~EXL_BoolExpression() = default;
EXL_StringExpression::~EXL_StringExpression() = default;
EXL_LongExpression::~EXL_LongExpression() = default;
EXL_DoubleExpression::~EXL_DoubleExpression() = default;

EXL_VariableAbstract::EXL_VariableAbstract(std::string name) : m_name(std::move(name)) {}
EXL_VariableAbstract::~EXL_VariableAbstract() = default;
int EXL_VariableAbstract::IsVariable() { return 1; }

EXL_Variable::EXL_Variable(std::string name, int type) : EXL_VariableAbstract(std::move(name)), m_type(type)
{
    switch (type) {
    case EXL_TYPE_LONG:
        m_value = EXL_Variant(0L);
        break;
    case EXL_TYPE_DOUBLE:
        m_value = EXL_Variant(0.0);
        break;
    case EXL_TYPE_BOOL:
        m_value = EXL_Variant(false);
        break;
    case EXL_TYPE_DATE:
        m_value = EXL_Variant(EXL_Date{});
        break;
    default:
        m_value = EXL_Variant(std::string());
        m_type = EXL_TYPE_STRING;
        break;
    }
}
EXL_Variable::~EXL_Variable() = default;
int EXL_Variable::IsAssignable() { return 1; }

void EXL_Variable::Set(const EXL_Variant &v)
{
    switch (m_type) {
    case EXL_TYPE_LONG:
        m_value = EXL_Variant(v.asLong());
        break;
    case EXL_TYPE_DOUBLE:
        m_value = EXL_Variant(v.asDouble());
        break;
    case EXL_TYPE_BOOL:
        m_value = EXL_Variant(v.asBool());
        break;
    case EXL_TYPE_DATE:
        m_value = EXL_Variant(v.asDate());
        break;
    default:
        m_value = EXL_Variant(v.asString());
        break;
    }
}

void EXL_Variable::Set(EXL_Variant &&v)
{
    if (m_type == v.type())
        m_value = std::move(v);
    else
        Set(static_cast<const EXL_Variant &>(v));
}

// Strings are handed out with one copy, not through a copied value.
std::string EXL_Variable::AsString()
{
    return m_type == EXL_TYPE_STRING ? m_value.text() : m_value.asString();
}

std::string EXL_Variable::asString(const char *format)
{
    return m_type == EXL_TYPE_STRING && !(format && *format) ? m_value.text() : m_value.format(format);
}

EXL_Scope::EXL_Scope(EXL_Scope *parent) : m_parent(parent) {}
EXL_Scope::~EXL_Scope() = default;

EXL_Variable *EXL_Scope::Declare(const std::string &name, int type)
{
    auto &slot = m_variables[name];
    if (!slot)
        slot = std::make_unique<EXL_Variable>(name, type);
    else if (slot->TypeCode() != type)
        throw EXL_TypeDoesNotMatchException("variable " + name + " is already declared as <"
                                            + EXL_Variant::typeName(slot->TypeCode()) + ">");
    return slot.get();
}

EXL_Variable *EXL_Scope::Find(const std::string &name) const
{
    const auto found = m_variables.find(name);
    if (found != m_variables.end())
        return found->second.get();
    return m_parent ? m_parent->Find(name) : nullptr;
}
