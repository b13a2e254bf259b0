#pragma once

#include "EXL_Export.h"
#include "EXL_Value.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class EXL_Scope;
class EXL_VariableAbstract;

// Root of every object of the framework that can report an error.
class EXL_EXPORT EXL_Base {
public:
    using ErrorHandler = void (*)(void *context, const std::string &message);

    virtual ~EXL_Base();

    // Reports an error text: it becomes the calling thread's last reported error and goes to the
    // handler the host installed. The caller throws an exception afterwards.
    void ReportError(const std::string &message) const;

    static void SetErrorHandler(ErrorHandler handler, void *context);
    static const std::string &LastReportedError();
    static void ClearReportedError();

    // Reports "Not supported <operation> <<type>> operation" and throws EXL_ErrorException.
    [[noreturn]] void NotSupported(const char *operation, const char *type) const;
};

// The operand kinds of the typed forms: suffix, parameter type, name in messages.
#define EXL_OPERAND_FORMS(M, OP, RET)                                                                        \
    M(OP, RET, Double, double, "double")                                                                     \
    M(OP, RET, Long, long, "long")                                                                           \
    M(OP, RET, String, const std::string &, "string")                                                        \
    M(OP, RET, Bool, bool, "bool")                                                                           \
    M(OP, RET, Date, const EXL_Date &, "date")                                                               \
    M(OP, RET, Variant, const EXL_Variant &, "variant")

// Operation groups: the comparisons, then the arithmetic groups that have reverse forms. Mul has none.
#define EXL_COMPARISON_GROUPS(M) M(Equal) M(NotEqual) M(Greater) M(Less) M(GreaterEqual) M(LessEqual)
#define EXL_REVERSIBLE_ARITHMETIC_GROUPS(M) M(Add) M(Sub) M(Mod) M(Div)

#define EXL_DECLARE_FORM(OP, RET, SUFFIX, ARG, NAME) virtual RET OP##SUFFIX(ARG v);
#define EXL_DECLARE_REVERSE(OP, RET, SUFFIX, ARG, NAME) virtual RET r##OP##SUFFIX(ARG v);
#define EXL_DECLARE_GROUP(OP, RET)                                                                           \
    virtual RET OP(EXL_Expression &other);                                                                   \
    EXL_OPERAND_FORMS(EXL_DECLARE_FORM, OP, RET)
#define EXL_DECLARE_COMPARISON(OP)                                                                           \
    EXL_DECLARE_GROUP(OP, bool) EXL_OPERAND_FORMS(EXL_DECLARE_REVERSE, OP, bool)
#define EXL_DECLARE_ARITHMETIC(OP)                                                                           \
    EXL_DECLARE_GROUP(OP, EXL_Variant) EXL_OPERAND_FORMS(EXL_DECLARE_REVERSE, OP, EXL_Variant)

// An expression of the language. After Bind it reports its type code; after Evaluate its value can be
// read through the conversions. The typed operations combine this expression's value with an operand:
// the form taking another expression calls that operand's reverse form with this value (for Mul, which
// has no reverse forms, the operand's forward form); forward typed forms put this value on the left,
// reverse forms on the right. The defaults implement the framework's own rules through Value().
class EXL_EXPORT EXL_Expression : public EXL_Base {
public:
    ~EXL_Expression() override;
    virtual int Bind(EXL_Scope *scope);
    virtual int Evaluate();

    virtual double AsDouble();
    virtual long AsLong();
    virtual bool AsBool();
    virtual std::string AsString();
    virtual EXL_Date AsDate();
    virtual int TypeCode() = 0;
    // Text form of the value; format is a printf conversion or null for the plain form.
    virtual std::string asString(const char *format);
    virtual EXL_Variant Value() = 0;

    EXL_COMPARISON_GROUPS(EXL_DECLARE_COMPARISON)
    EXL_DECLARE_ARITHMETIC(Add)
    EXL_DECLARE_ARITHMETIC(Sub)
    EXL_DECLARE_ARITHMETIC(Mod)
    EXL_DECLARE_GROUP(Mul, EXL_Variant)
    EXL_DECLARE_ARITHMETIC(Div)

    // Seven properties the framework asks of a node; 0 is the plain answer.
    virtual int IsConstant();
    virtual int IsVariable();
    virtual int IsAssignable();
    virtual int IsAggregate();
    virtual int ElementCount();
    virtual int Reset();
    virtual int Optimize();

    // Assignment: this expression takes the value of source (through the reverse forms below).
    virtual void Assign(EXL_Expression &source);
    EXL_OPERAND_FORMS(EXL_DECLARE_REVERSE, Assign, void)

    // A new expression able to hold the result of an arithmetic operation of this expression with an
    // operand of the given type; the caller owns it.
    virtual EXL_Expression *CreateResultDouble();
    virtual EXL_Expression *CreateResultLong();
    virtual EXL_Expression *CreateResultString();
    virtual EXL_Expression *CreateResultBool();
    virtual EXL_Expression *CreateResultDate();
    virtual EXL_Expression *CreateResultVariable(EXL_VariableAbstract &operand);
    // Picks the form above that fits operand.
    EXL_Expression *CreateResultFor(EXL_Expression &operand);

protected:
    EXL_Expression *CreateResultOfType(int operandType, const char *operandName);
};

// Assignment forms that store the typed value through STORE(const EXL_Variant &).
#define EXL_ASSIGN_THROUGH(STORE, RET, SUFFIX, ARG, NAME)                                                    \
    RET rAssign##SUFFIX(ARG v) override { STORE(EXL_Variant(v)); }

template <typename T>
struct EXL_TypeOf;
template <>
struct EXL_TypeOf<bool> {
    static constexpr int code = EXL_TYPE_BOOL;
};
template <>
struct EXL_TypeOf<long> {
    static constexpr int code = EXL_TYPE_LONG;
};
template <>
struct EXL_TypeOf<double> {
    static constexpr int code = EXL_TYPE_DOUBLE;
};
template <>
struct EXL_TypeOf<std::string> {
    static constexpr int code = EXL_TYPE_STRING;
};

// An expression whose value has the fixed type T.
template <typename T>
class EXL_EXPORT EXL_TypedExpression : public EXL_Expression {
public:
    EXL_TypedExpression() : m_value() {}
    explicit EXL_TypedExpression(T v) : m_value(std::move(v)) {}

    int TypeCode() override { return EXL_TypeOf<T>::code; }
    EXL_Variant Value() override { return EXL_Variant(m_value); }
    const T &value() const { return m_value; }
    void setValue(T v) { m_value = std::move(v); }

    EXL_OPERAND_FORMS(EXL_ASSIGN_THROUGH, store, void)

protected:
    T m_value;

private:
    void store(const EXL_Variant &v);
};

extern template class EXL_TypedExpression<bool>;
extern template class EXL_TypedExpression<long>;
extern template class EXL_TypedExpression<double>;
extern template class EXL_TypedExpression<std::string>;

class EXL_EXPORT EXL_BoolExpression : public EXL_TypedExpression<bool> {
public:
    using EXL_TypedExpression<bool>::EXL_TypedExpression;
    ~EXL_BoolExpression() override;
};
class EXL_EXPORT EXL_StringExpression : public EXL_TypedExpression<std::string> {
public:
    using EXL_TypedExpression<std::string>::EXL_TypedExpression;
    ~EXL_StringExpression() override;
};
class EXL_EXPORT EXL_LongExpression : public EXL_TypedExpression<long> {
public:
    using EXL_TypedExpression<long>::EXL_TypedExpression;
    ~EXL_LongExpression() override;
};
class EXL_EXPORT EXL_DoubleExpression : public EXL_TypedExpression<double> {
public:
    using EXL_TypedExpression<double>::EXL_TypedExpression;
    ~EXL_DoubleExpression() override;
};

// A literal of the language: a typed expression whose value never changes.
template <typename Base>
class EXL_Literal : public Base {
public:
    using Base::Base;
    int IsConstant() override { return 1; }
};
using EXL_BoolLiteral = EXL_Literal<EXL_BoolExpression>;
using EXL_StringLiteral = EXL_Literal<EXL_StringExpression>;
using EXL_LongLiteral = EXL_Literal<EXL_LongExpression>;
using EXL_DoubleLiteral = EXL_Literal<EXL_DoubleExpression>;

// A named variable.
class EXL_EXPORT EXL_VariableAbstract : public EXL_Expression {
public:
    explicit EXL_VariableAbstract(std::string name);
    ~EXL_VariableAbstract() override;
    const std::string &name() const { return m_name; }
    int IsVariable() override;

private:
    std::string m_name;
};

// A variable's storage in a scope; its type is fixed when it is declared.
class EXL_EXPORT EXL_Variable : public EXL_VariableAbstract {
public:
    EXL_Variable(std::string name, int type);
    ~EXL_Variable() override;

    int TypeCode() override { return m_type; }
    EXL_Variant Value() override { return m_value; }
    int IsAssignable() override;
    // Stores v, converted to the variable's type.
    void Set(const EXL_Variant &v);
    void Set(EXL_Variant &&v);
    std::string AsString() override;
    std::string asString(const char *format) override;

    EXL_OPERAND_FORMS(EXL_ASSIGN_THROUGH, Set, void)

private:
    int m_type;
    EXL_Variant m_value;
};

// The variables an expression is bound to. A scope may sit inside another; names are looked up from
// the innermost scope outwards.
class EXL_EXPORT EXL_Scope {
public:
    explicit EXL_Scope(EXL_Scope *parent = nullptr);
    ~EXL_Scope();
    EXL_Scope(const EXL_Scope &) = delete;
    EXL_Scope &operator=(const EXL_Scope &) = delete;

    // Declares a variable (or returns the one of that name, which must have the same type).
    EXL_Variable *Declare(const std::string &name, int type);
    EXL_Variable *Find(const std::string &name) const;

private:
    EXL_Scope *m_parent;
    std::map<std::string, std::unique_ptr<EXL_Variable>> m_variables;
};
