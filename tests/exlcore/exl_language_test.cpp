// The expression language of the framework: parsing, precedence, literals, variables, the typed
// operations of its own expressions, and the manager's search for functions.

#include "EXL_Exceptions.h"
#include "EXL_Parser.h"
#include "FunctionPluginManager.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Language : public ::testing::Test {
protected:
    Language() : manager(nullptr, nullptr)
    {
        scope.Declare("line", EXL_TYPE_STRING)->Set(EXL_Variant(std::string("some text")));
        scope.Declare("lineno", EXL_TYPE_LONG)->Set(EXL_Variant(7L));
    }

    std::string eval(const std::string &expression)
    {
        auto program = EXL_Parse(expression, &manager);
        program->Bind(&scope);
        program->Evaluate();
        return program->root()->asString(nullptr);
    }

    FunctionPluginManager manager;
    EXL_Scope scope;
};

TEST_F(Language, EvaluatesWithPrecedence)
{
    struct Row {
        const char *expression, *value;
    } rows[] = {
        {"1 + 2 * 3", "7"},
        {"(1 + 2) * 3", "9"},
        {"7 / 2", "3"},
        {"7 % 4", "3"},
        {"7.0 / 2", "3.5"},
        {"-3 + 1", "-2"},
        {"1e3", "1000"},
        {"2 - 3 - 4", "-5"},
        {"lineno * 2", "14"},
        {"1 < 2 == true", "true"},
        {"!true || 1 == 1", "true"},
        {"!(1 == 1)", "false"},
        {"1 != 2 && 2 >= 2", "true"},
        {"\"a\" + \"b\" + line", "absome text"},
        {"lineno + \": \" + line", "7: some text"},
        {"\"n=\" + 2.5 + true", "n=2.5true"},
        {"\"abc\" < \"abd\"", "true"},
        {"line == \"some text\"", "true"},
        {"\"tab\\there\"", "tab\there"},
        {"\"q\\\"\\\\\"", "q\"\\"},
        {"\"re \\(x\\)\\1\"", "re \\(x\\)\\1"}, // other backslashes stay
        {"false && 1 / 0 == 1", "false"},       // the right side is not evaluated
        {"true || 1 / 0 == 1", "true"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(eval(row.expression), row.value) << row.expression;
}

TEST_F(Language, SyntaxErrorsNameThePosition)
{
    struct Row {
        const char *expression;
        std::size_t position;
    } rows[] = {{"1 +", 4}, {"(1 + 2", 7}, {"1 2", 3}, {"\"open", 1}, {"a $ b", 3}, {"", 1}, {"f(1,", 5}};
    for (const Row &row : rows) {
        try {
            EXL_Parse(row.expression, &manager);
            ADD_FAILURE() << row.expression << " parsed";
        } catch (const EXL_SyntaxError &error) {
            EXPECT_EQ(error.position(), row.position) << row.expression;
            EXPECT_NE(error.message().find("position " + std::to_string(row.position)), std::string::npos);
        }
    }
}

TEST_F(Language, RefusesWhatItCannotEvaluate)
{
    EXL_Base::ClearReportedError();
    EXPECT_THROW(eval("nothing + 1"), EXL_ErrorException);
    EXPECT_EQ(EXL_Base::LastReportedError(), "Unknown variable nothing");
    EXPECT_THROW(eval("f(1)"), EXL_ErrorException);
    EXPECT_THROW(eval("true + 1"), EXL_ErrorException);
    EXPECT_EQ(EXL_Base::LastReportedError(), "Not supported operand type <long> in the expression");
    EXPECT_THROW(eval("line - 1"), EXL_ErrorException);
    EXPECT_EQ(EXL_Base::LastReportedError(), "Not supported Sub <string> operation");
    EXPECT_THROW(eval("line == 1"), EXL_ErrorException);
    EXPECT_EQ(EXL_Base::LastReportedError(), "Not supported operator== <string> operation");
    EXPECT_THROW(eval("lineno / 0"), EXL_ErrorException);
    EXPECT_THROW(eval("9223372036854775807 + 1"), EXL_ErrorException);
    EXPECT_THROW(eval("line && true"), EXL_TypeDoesNotMatchException);
}

TEST(Variant, ConvertsAndFormats)
{
    EXPECT_EQ(EXL_Variant(2.5).asLong(), 2);
    EXPECT_EQ(EXL_Variant(true).asDouble(), 1.0);
    EXPECT_EQ(EXL_Variant(0.1).asString(), "0.1");
    EXPECT_EQ(EXL_Variant(42L).format("%05ld"), "00042");
    EXPECT_EQ(EXL_Variant(EXL_Date{25569.5}).asString(), "1970-01-01 12:00:00");
    EXPECT_THROW(EXL_Variant(std::string("1")).asLong(), EXL_TypeDoesNotMatchException);
    EXPECT_THROW(EXL_Variant(1e300).asLong(), EXL_TypeDoesNotMatchException);
    EXPECT_EQ(EXL_Variant::combinedType(EXL_TYPE_LONG, EXL_TYPE_DOUBLE), EXL_TYPE_DOUBLE);
    EXPECT_EQ(EXL_Variant::combinedType(EXL_TYPE_BOOL, EXL_TYPE_LONG), EXL_TYPE_NONE);
}

TEST(Scope, VariablesKeepTheirTypeAndInnerScopesSeeOuterOnes)
{
    EXL_Scope outer;
    EXL_Variable *count = outer.Declare("count", EXL_TYPE_LONG);
    EXPECT_EQ(outer.Declare("count", EXL_TYPE_LONG), count);
    EXPECT_THROW(outer.Declare("count", EXL_TYPE_STRING), EXL_TypeDoesNotMatchException);
    count->Set(EXL_Variant(2.9));
    EXPECT_EQ(count->AsLong(), 2);
    EXPECT_THROW(count->Set(EXL_Variant(std::string("x"))), EXL_TypeDoesNotMatchException);
    EXL_Scope inner(&outer);
    EXPECT_EQ(inner.Find("count"), count);
    EXPECT_EQ(inner.Find("other"), nullptr);
}

// A container that offers one name and counts the function objects alive.
class CountingContainer : public FunctionContainer {
public:
    explicit CountingContainer(const char *offered, long value) : m_offered(offered), m_value(value) {}
    EXL_Expression *createFunction(const char *name, EXL_ExpressionVector *arguments) override
    {
        ++asked;
        if (std::string(name) != m_offered)
            return nullptr;
        return new Function(this, arguments, m_value);
    }

    int asked = 0;
    int alive = 0;

private:
    class Function : public EXL_AbstractFunction, public EXL_LongExpression {
    public:
        Function(CountingContainer *owner, EXL_ExpressionVector *arguments, long value)
            : EXL_AbstractFunction(arguments), EXL_LongExpression(value), m_owner(owner)
        {
            ++m_owner->alive;
        }
        ~Function() override { --m_owner->alive; }
        int Bind(EXL_Scope *scope) override { return EXL_AbstractFunction::Bind(scope); }
        int Evaluate() override
        {
            long sum = m_value;
            for (std::size_t i = 0; i < ArgumentCount(); ++i) {
                Argument(i)->Evaluate();
                sum += Argument(i)->AsLong();
            }
            m_value = sum;
            return 0;
        }

    private:
        CountingContainer *m_owner;
    };

    const char *m_offered;
    long m_value;
};

TEST(Manager, AsksNewestContainerFirstAndForgetsUnregisteredOnes)
{
    FunctionPluginManager manager(nullptr, nullptr);
    CountingContainer older("f", 100), newer("f", 200), other("g", 5);
    manager.RegisterContainer(&older);
    manager.RegisterContainer(&other);
    manager.RegisterContainer(&newer);
    manager.RegisterContainer(&newer);
    EXPECT_EQ(manager.ContainerCount(), 3u);

    EXL_Scope scope;
    {
        auto program = EXL_Parse("f(1, 2) + g()", &manager);
        EXPECT_EQ(newer.alive + other.alive, 2);
        EXPECT_EQ(older.asked, 0);
        program->Bind(&scope);
        program->Evaluate();
        EXPECT_EQ(program->root()->AsLong(), 208);
    }
    EXPECT_EQ(newer.alive + other.alive, 0); // the program owns its function objects

    manager.UnregisterContainer(&newer);
    auto program = EXL_Parse("f()", &manager);
    program->Bind(&scope);
    program->Evaluate();
    EXPECT_EQ(program->root()->AsLong(), 100);
    EXPECT_THROW(EXL_Parse("h()", &manager), EXL_ErrorException);
    EXPECT_EQ(manager.UnregisterContainer(&newer), -1);
}

// A module whose dependencies fail: init answers -1 and the name stays the module's.
class NeedyModule : public BaseTaskModule {
public:
    NeedyModule() : BaseTaskModule(nullptr, nullptr, "Needy") {}
    int init_dependencies(int argc, ACE_TCHAR *argv[]) override
    {
        seen = argc > 0 ? std::string(argv[0]) : std::string();
        return argc > 0 ? -1 : 0;
    }
    std::string seen;
};

TEST(BaseTaskModule, InitRunsTheDependenciesWithTheSameArguments)
{
    NeedyModule module;
    ACE_TCHAR first[] = "-a";
    ACE_TCHAR *argv[] = {first, nullptr};
    EXPECT_EQ(module.init(1, argv), -1);
    EXPECT_EQ(module.seen, "-a");
    EXPECT_EQ(module.init(0, argv + 1), 0);
    EXPECT_STREQ(module.name(), "Needy");
    EXPECT_EQ(module.svc(), 0);
    EXPECT_EQ(module.fini(), 0);
}

} // namespace

// Parsing and evaluation recurse once per level: a deeper expression is refused at the place where it
// went too deep, whether the depth comes from an operator chain, parentheses or prefix operators.
TEST_F(Language, RefusesExpressionsNestedTooDeep)
{
    const auto repeat = [](const std::string &part, int times) {
        std::string text;
        for (int i = 0; i < times; ++i)
            text += part;
        return text;
    };
    const int limit = EXL_MaxNesting;
    EXPECT_EQ(eval("1" + repeat("+1", limit)), std::to_string(limit + 1));
    EXPECT_EQ(eval(repeat("(", limit) + "2" + repeat(")", limit)), "2");
    EXPECT_EQ(eval(repeat("-", limit) + "3"), limit % 2 ? "-3" : "3");
    EXPECT_EQ(eval(repeat("!", limit) + "true"), limit % 2 ? "false" : "true");

    struct Row {
        std::string expression;
        std::size_t position;
    } rows[] = {
        {"1" + repeat("+1", limit + 1), 2 * (limit + 1)},  // the last "+"
        {"1" + repeat(" || 1", 3 * limit), 5 * limit + 3}, // the first "||" past the limit
        {repeat("(", limit + 1) + "2" + repeat(")", limit + 1), limit + 1},
        {repeat("-", limit + 1) + "3", limit + 1},
        {repeat("!", 200000) + "true", limit + 1},
    };
    for (const Row &row : rows) {
        try {
            EXL_Parse(row.expression, &manager);
            ADD_FAILURE() << row.expression.size() << " characters parsed";
        } catch (const EXL_SyntaxError &error) {
            EXPECT_EQ(error.position(), row.position);
            EXPECT_EQ(error.message(), "syntax error at position " + std::to_string(row.position)
                                           + ": expression nested deeper than 1000 levels");
        }
    }
}
