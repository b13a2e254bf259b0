// The function container and the match and sed function objects: creation rules, argument types,
// the typed operations, the engine results and the compiled-program cache.

#include "EXL_Exceptions.h"
#include "EXL_Parser.h"
#include "FunctionPluginManager.h"
#include "SedObj.h"
#include "ZEBaseContainer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A function object with its argument list: literal expressions that the test can change.
struct Call {
    Call(const char *name, std::vector<EXL_Expression *> args)
    {
        for (EXL_Expression *arg : args)
            owned.emplace_back(arg);
        arguments = std::move(args);
        function.reset(ZEBaseContainer().createFunction(name, &arguments));
    }
    Call(const char *name, const std::string &text, const std::string &second)
        : Call(name, {new EXL_StringLiteral(text), new EXL_StringLiteral(second)})
    {
    }

    // Sets the two string arguments and evaluates.
    EXL_Expression &operator()(const std::string &text, const std::string &second)
    {
        static_cast<EXL_StringExpression *>(arguments[0])->setValue(text);
        static_cast<EXL_StringExpression *>(arguments[1])->setValue(second);
        function->Evaluate();
        return *function;
    }

    std::vector<std::unique_ptr<EXL_Expression>> owned;
    EXL_ExpressionVector arguments;
    std::unique_ptr<EXL_Expression> function;
};

std::unique_ptr<Call> bound(const char *name, const std::string &text, const std::string &second)
{
    auto call = std::make_unique<Call>(name, text, second);
    call->function->Bind(nullptr);
    return call;
}

// The engine's exception code of one evaluation, or -1 when it passed.
int engineCode(Call &call, const std::string &text, const std::string &second)
{
    try {
        call(text, second);
        return -1;
    } catch (const SedObjException &error) {
        return error.code();
    }
}

TEST(QuaystoneContainer, CreatesOnlyMatchAndSedWithTwoArguments)
{
    EXL_StringLiteral a("a"), b("b"), c("c");
    EXL_ExpressionVector one{&a}, two{&a, &b}, three{&a, &b, &c};
    ZEBaseContainer container;
    for (const char *name : {"Match", "SED", "matches", "se", "", "other"})
        EXPECT_EQ(container.createFunction(name, &two), nullptr) << name;
    for (const char *name : {"match", "sed"}) {
        for (EXL_ExpressionVector *args : {&one, &three, static_cast<EXL_ExpressionVector *>(nullptr)}) {
            try {
                delete container.createFunction(name, args);
                ADD_FAILURE() << name << " was created with a wrong argument list";
            } catch (const EXL_ImproperNumberOfArguments &error) {
                EXPECT_EQ(error.message(), name);
            }
        }
        std::unique_ptr<EXL_Expression> function(container.createFunction(name, &two));
        ASSERT_NE(function, nullptr);
        EXPECT_EQ(function->TypeCode(), std::string(name) == "match" ? EXL_TYPE_BOOL : EXL_TYPE_STRING);
    }
}

TEST(QuaystoneFunctions, BindRefusesArgumentsThatAreNotStrings)
{
    struct Row {
        const char *name;
        bool firstIsString;
        const char *message;
    } rows[] = {{"match", false, "match (first arg)"},
                {"match", true, "match (second arg)"},
                {"sed", false, "Sed (first arg)"},
                {"sed", true, "Sed (second arg)"}};
    for (const Row &row : rows) {
        EXL_Expression *first = row.firstIsString ? static_cast<EXL_Expression *>(new EXL_StringLiteral("x"))
                                                  : new EXL_LongLiteral(1L);
        EXL_Expression *second = row.firstIsString ? static_cast<EXL_Expression *>(new EXL_BoolLiteral(true))
                                                   : new EXL_StringLiteral("x");
        Call call(row.name, {first, second});
        EXL_Base::ClearReportedError();
        try {
            call.function->Bind(nullptr);
            ADD_FAILURE() << row.message << ": bound";
        } catch (const EXL_ImproperTypeOfArgument &error) {
            EXPECT_EQ(error.message(), row.message);
            EXPECT_EQ(EXL_Base::LastReportedError(), "The argument is not <string>");
        }
    }
    EXPECT_EQ(bound("match", "a", "b")->function->Bind(nullptr), 0);
}

// One typed operation and its expected outcome: a result (checked by the row), an unsupported
// operation (reported text, EXL_ErrorException with an empty message) or an impossible conversion
// (EXL_TypeDoesNotMatchException, nothing reported).
struct OpRow {
    const char *what;
    std::function<void(EXL_Expression &)> op;
    const char *refusal;    // reported text, or null
    const char *conversion; // exception text, or null
};

void checkOperations(EXL_Expression &function, const std::vector<OpRow> &rows)
{
    for (const OpRow &row : rows) {
        EXL_Base::ClearReportedError();
        try {
            row.op(function);
            EXPECT_TRUE(!row.refusal && !row.conversion) << row.what << " was not refused";
        } catch (const EXL_TypeDoesNotMatchException &error) {
            ASSERT_NE(row.conversion, nullptr) << row.what << ": " << error.message();
            EXPECT_EQ(error.message(), row.conversion) << row.what;
            EXPECT_EQ(EXL_Base::LastReportedError(), "") << row.what;
        } catch (const EXL_ErrorException &error) {
            ASSERT_NE(row.refusal, nullptr) << row.what << ": " << EXL_Base::LastReportedError();
            EXPECT_EQ(EXL_Base::LastReportedError(), row.refusal) << row.what;
            EXPECT_EQ(error.message(), "") << row.what;
        }
    }
}

#define OK(WHAT, BODY)                                                                                       \
    {                                                                                                        \
        WHAT, [&](EXL_Expression &f) { BODY; }, nullptr, nullptr                                             \
    }
#define REFUSED(TEXT, BODY)                                                                                  \
    {                                                                                                        \
        TEXT, [&](EXL_Expression &f) { BODY; }, TEXT, nullptr                                                \
    }
#define UNCONVERTIBLE(TEXT, BODY)                                                                            \
    {                                                                                                        \
        TEXT, [&](EXL_Expression &f) { BODY; }, nullptr, TEXT                                                \
    }

TEST(QuaystoneFunctions, MatchAnswersTheTypedOperations)
{
    auto call = bound("match", "abc", "b");
    EXL_Expression &f = (*call)("abc", "b");
    EXL_BoolLiteral yes(true), no(false);
    EXL_LongLiteral one(1L);
    EXL_Variable variable("v", EXL_TYPE_LONG);
    ASSERT_TRUE(f.AsBool());

    checkOperations(f, {
        OK("value", EXPECT_EQ(f.AsDouble(), 1.0); EXPECT_EQ(f.AsLong(), 1); EXPECT_EQ(f.TypeCode(), 4);
           EXPECT_EQ(f.asString(nullptr), "true")),
            UNCONVERTIBLE("can't convert to <string>", f.AsString()),
            UNCONVERTIBLE("can't convert to <date>", f.AsDate()),
            OK("== typed", EXPECT_TRUE(f.EqualBool(true)); EXPECT_TRUE(f.EqualLong(1));
               EXPECT_FALSE(f.EqualDouble(0.0)); EXPECT_TRUE(f.EqualVariant(EXL_Variant(true)))),
            REFUSED("Not supported operator== <string> operation", f.EqualString("true")),
            REFUSED("Not supported operator== <date> operation", f.EqualDate(EXL_Date{})),
            REFUSED("Not supported operator== <bool> operation", f.rEqualBool(true)),
            REFUSED("Not supported operator!= <long> operation", f.NotEqualLong(1)),
            REFUSED("Not supported operator!= <variant> operation", f.rNotEqualVariant(EXL_Variant(1L))),
            REFUSED("Not supported operator> <double> operation", f.GreaterDouble(0.5)),
            REFUSED("Not supported operator<= <bool> operation", f.LessEqualBool(true)),
            OK("reverse comparisons", EXPECT_TRUE(f.rLessBool(false)); EXPECT_FALSE(f.rGreaterLong(0));
               EXPECT_TRUE(f.rGreaterEqualDouble(1.0)); EXPECT_TRUE(f.rLessEqualVariant(EXL_Variant(1L)))),
            REFUSED("Not supported operator< <string> operation", f.rLessString("a")),
            REFUSED("Not supported operator>= <date> operation", f.rGreaterEqualDate(EXL_Date{})),
            OK("expression forms", EXPECT_TRUE(f.Equal(yes)); EXPECT_FALSE(f.Equal(no));
               EXPECT_TRUE(f.NotEqual(no))),
            REFUSED("Not supported Add <variant> operation", f.AddVariant(EXL_Variant(1L))),
            REFUSED("Not supported Add <long> operation", f.rAddLong(1)),
            // The expression form hands the bool value to the operand, which refuses it.
            REFUSED("Not supported Sub <bool> operation", f.Sub(one)),
            REFUSED("Not supported Mul <double> operation", f.MulDouble(2.0)),
            REFUSED("Not supported Div <bool> operation", f.rDivBool(true)),
            REFUSED("Not supported Mod <date> operation", f.rModDate(EXL_Date{})),
            REFUSED("Not supported assignment", f.Assign(yes)),
            REFUSED("Not supported assignment", f.rAssignString("x")),
            REFUSED("Not supported assignment", f.rAssignDouble(1.0)),
            REFUSED("Not supported operand type <date> in the expression", f.CreateResultDate()),
            REFUSED("Not supported operand type <bool> in the expression", f.CreateResultBool()),
            REFUSED("Not supported operand type <VariableAbstract> in the expression",
                    f.CreateResultVariable(variable)),
            OK("properties", EXPECT_EQ(f.IsConstant() + f.IsVariable() + f.IsAssignable() + f.IsAggregate()
                                           + f.ElementCount() + f.Reset() + f.Optimize(),
                                       0)),
            OK("assignment", f.rAssignLong(0); EXPECT_FALSE(f.AsBool()); f.rAssignBool(true);
               EXPECT_TRUE(f.AsBool())),
    });
}

TEST(QuaystoneFunctions, SedAnswersTheTypedOperations)
{
    auto call = bound("sed", "hello world", "s/o/0/g");
    EXL_Expression &f = (*call)("hello world", "s/o/0/g");
    EXL_StringLiteral same("hell0 w0rld"), bang("!");
    EXL_LongLiteral one(1L);
    ASSERT_EQ(f.AsString(), "hell0 w0rld");

    checkOperations(f, {
        OK("value", EXPECT_EQ(f.TypeCode(), 2); EXPECT_EQ(f.asString(nullptr), "hell0 w0rld")),
            UNCONVERTIBLE("can't convert to <double>", f.AsDouble()),
            UNCONVERTIBLE("can't convert to <long>", f.AsLong()),
            UNCONVERTIBLE("can't convert to <bool>", f.AsBool()),
            UNCONVERTIBLE("can't convert to <date>", f.AsDate()),
            OK("==", EXPECT_TRUE(f.EqualString("hell0 w0rld"));
               EXPECT_FALSE(f.EqualVariant(EXL_Variant(std::string("x")))); EXPECT_TRUE(f.Equal(same));
               EXPECT_TRUE(f.NotEqual(bang))),
            REFUSED("Not supported operator== <long> operation", f.EqualLong(1)),
            REFUSED("Not supported operator== <string> operation", f.rEqualString("x")),
            REFUSED("Not supported operator!= <string> operation", f.NotEqualString("x")),
            REFUSED("Not supported operator> <string> operation", f.GreaterString("x")),
            REFUSED("Not supported operator<= <string> operation", f.rLessEqualString("x")),
            OK("Add", EXPECT_EQ(f.AddString("!").asString(), "hell0 w0rld!");
               EXPECT_EQ(f.rAddString("<").asString(), "<hell0 w0rld");
               EXPECT_EQ(f.AddVariant(EXL_Variant(std::string("?"))).asString(), "hell0 w0rld?");
               EXPECT_EQ(f.Add(bang).asString(), "hell0 w0rld!")),
            REFUSED("Not supported Add <long> operation", f.AddLong(1)),
            REFUSED("Not supported Add <bool> operation", f.rAddBool(true)),
            REFUSED("Not supported Sub <string> operation", f.SubString("x")),
            REFUSED("Not supported Sub <string> operation", f.rSubString("x")),
            REFUSED("Not supported Mul <string> operation", f.MulString("x")),
            REFUSED("Not supported Mod <variant> operation", f.ModVariant(EXL_Variant(1L))),
            REFUSED("Not supported Div <string> operation", f.Div(one)),
            REFUSED("Not supported assignment", f.rAssignLong(1)),
            REFUSED("Not supported operand type <long> in the expression", f.CreateResultLong()),
            OK("result holder", std::unique_ptr<EXL_Expression> holder(f.CreateResultString());
               EXPECT_EQ(holder->TypeCode(), EXL_TYPE_STRING)),
            OK("assignment", f.rAssignString("x"); EXPECT_EQ(f.AsString(), "x")),
    });
}

TEST(QuaystoneFunctions, MatchFindsPatterns)
{
    struct Row {
        const char *text, *pattern;
        bool expected;
    } rows[] = {
        {"abc", "b", true},
        {"abc", "^b", false},
        {"abc", "c$", true},
        {"aXb", "[A-Z]", true},
        {"ab", "a\\(b\\)\\1", false},
        {"a/b", "a\\/b", true},
        {"GET /x", "^GET ", true},
        {"POST /", "^GET ", false},
        // An empty text holds only the patterns that match an empty string.
        {"", "x", false},
        {"", "^GET ", false},
        {"", "^$", true},
        {"", "x*", true},
    };
    for (const Row &row : rows) {
        auto call = bound("match", "", "");
        EXPECT_EQ((*call)(row.text, row.pattern).AsBool(), row.expected) << row.text << " ~ " << row.pattern;
    }
}

TEST(QuaystoneFunctions, SedEditsTexts)
{
    struct Row {
        const char *text, *script, *expected;
    } rows[] = {
        {"hello world", "s/o/0/g", "hell0 w0rld"},
        {"abc", "/b/d", ""},
        {"abc", "/x/d", "abc"},
        {"key=value", "s/\\(.*\\)=\\(.*\\)/\\2=\\1/", "value=key"},
        {"abc", "y/abc/ABC/", "ABC"},
        {"a", "s/a/b/\ns/b/c/", "c"},
    };
    for (const Row &row : rows) {
        auto call = bound("sed", "", "");
        EXPECT_EQ((*call)(row.text, row.script).AsString(), row.expected) << row.script;
    }
}

TEST(QuaystoneFunctions, EngineErrorsLeaveWithTheEnginesMessageReported)
{
    auto sed = bound("sed", "", "");
    EXL_Base::ClearReportedError();
    EXPECT_EQ(engineCode(*sed, "abc", "s/a/"), 2);
    EXPECT_EQ(EXL_Base::LastReportedError(), "sed: garbled command s/a/\n");

    // A message names what it refused, cut to a readable length, whichever function raised it.
    auto longPattern = bound("match", "", "");
    EXL_Base::ClearReportedError();
    EXPECT_EQ(engineCode(*longPattern, "abc", std::string(300, 'a')), 2);
    EXPECT_EQ(EXL_Base::LastReportedError(), "sed: garbled address /" + std::string(36, 'a') + "...\n");

    // An unescaped slash ends the address early: the branch to "/d" has no label.
    auto match = bound("match", "", "");
    EXL_Base::ClearReportedError();
    EXPECT_EQ(engineCode(*match, "a/b", "a/b"), 2);
    EXPECT_EQ(EXL_Base::LastReportedError().rfind("sed: ", 0), 0u);

    // An empty pattern has no previous one to stand for, also on the first evaluation.
    auto empty = bound("match", "", "");
    EXPECT_EQ(engineCode(*empty, "", ""), 2);
    EXPECT_EQ(engineCode(*empty, "abc", ""), 2);

    // A text past the engine's 4000 characters is refused, not cut.
    EXL_Base::ClearReportedError();
    EXPECT_EQ(engineCode(*sed, std::string(4001, 'a'), "s/a/b/"), 2);
    EXPECT_NE(EXL_Base::LastReportedError(), "");
    EXPECT_EQ((*sed)(std::string(4000, 'a'), "s/a/b/").AsString(), "b" + std::string(3999, 'a'));

    // q is no error: the exception carries 0 and nothing is reported.
    EXL_Base::ClearReportedError();
    EXPECT_EQ(engineCode(*sed, "abc", "q"), 0);
    EXPECT_EQ(EXL_Base::LastReportedError(), "");
}

TEST(QuaystoneFunctions, PathologicalPatternsEndWithAnAnswerOrTheEnginesMessage)
{
    auto match = bound("match", "", "");
    const std::string line = "b" + std::string(400, 'a');
    EXPECT_FALSE((*match)(line, "\\(a\\)a*a*a*\\1c").AsBool());
    EXPECT_FALSE((*match)(line + "bc", "\\(a\\)a*a*a*\\1c").AsBool());
    EXPECT_TRUE((*match)(line + "c", "\\(a\\)a*a*a*\\1c").AsBool());
    // A search that would take too long ends the evaluation with the engine's message; the
    // function answers the next one as usual.
    EXL_Base::ClearReportedError();
    EXPECT_EQ(engineCode(*match, std::string(3998, 'a') + "bc", "\\(a*\\)a*\\1c"), 2);
    EXPECT_EQ(EXL_Base::LastReportedError(), "sed: RE too complex\n");
    EXPECT_TRUE((*match)("xaac", "\\(a*\\)a*\\1c").AsBool());
}

TEST(QuaystoneFunctions, ProgramIsCompiledOnlyWhenItChanges)
{
    // H and g accumulate in the hold space, which only a recompile starts afresh.
    auto sed = bound("sed", "", "");
    EXPECT_EQ((*sed)("a", "H;g").AsString(), "\na");
    EXPECT_EQ((*sed)("b", "H;g").AsString(), "\na\nb");
    EXPECT_EQ((*sed)("c", "H;g;s/^/-/").AsString(), "-\nc");
}

TEST(QuaystoneFunctions, FailedCompileForcesTheNextEvaluationToRecompile)
{
    auto sed = bound("sed", "", "");
    EXPECT_EQ((*sed)("abc", "s/a/X/").AsString(), "Xbc");
    EXPECT_EQ(engineCode(*sed, "abc", "s/a/"), 2);
    EXPECT_EQ((*sed)("abc", "s/a/X/").AsString(), "Xbc");

    auto match = bound("match", "", "");
    EXPECT_TRUE((*match)("abc", "b").AsBool());
    EXPECT_EQ(engineCode(*match, "abc", "a/b"), 2);
    EXPECT_TRUE((*match)("abc", "b").AsBool());
    EXPECT_FALSE((*match)("xyz", "b").AsBool());
}

// The functions inside parsed expressions, created through a manager that holds the container.
class QuaystoneExpressions : public ::testing::Test {
protected:
    QuaystoneExpressions() : manager(nullptr, nullptr)
    {
        manager.RegisterContainer(&container);
        line = scope.Declare("line", EXL_TYPE_STRING);
        scope.Declare("lineno", EXL_TYPE_LONG)->Set(EXL_Variant(1L));
    }

    std::string evaluate(const std::string &expression, const std::string &text)
    {
        auto program = EXL_Parse(expression, &manager);
        program->Bind(&scope);
        line->Set(EXL_Variant(text));
        program->Evaluate();
        return program->root()->asString(nullptr);
    }

    ZEBaseContainer container;
    FunctionPluginManager manager;
    EXL_Scope scope;
    EXL_Variable *line;
};

TEST_F(QuaystoneExpressions, FunctionsCombineWithTheLanguage)
{
    EXPECT_EQ(evaluate("sed(line, \"s/o/0/g\") + \"!\"", "hello world"), "hell0 w0rld!");
    EXPECT_EQ(evaluate("\"<\" + sed(line, \"s/o/0/g\")", "hello"), "<hell0");
    EXPECT_EQ(evaluate("sed(line, \"s/o/0/g\") == \"n0\"", "no"), "true");
    EXPECT_EQ(evaluate("match(line, \"wor\") == true", "hello world"), "true");
    EXPECT_EQ(evaluate("!match(line, \"^w\") && lineno == 1", "hello world"), "true");
    EXPECT_EQ(evaluate("match(sed(line, \"s/x/y/\"), \"y\")", "axb"), "true");
}

TEST_F(QuaystoneExpressions, UnsupportedCombinationsAreReported)
{
    EXL_Base::ClearReportedError();
    EXPECT_THROW(evaluate("sed(line, \"s/a/b/\") - \"x\"", "abc"), EXL_ErrorException);
    EXPECT_EQ(EXL_Base::LastReportedError(), "Not supported Sub <string> operation");
    EXPECT_THROW(evaluate("match(line, \"a\") + 1", "abc"), EXL_ErrorException);
    EXPECT_EQ(EXL_Base::LastReportedError(), "Not supported operand type <long> in the expression");
    EXPECT_THROW(evaluate("match(line)", "abc"), EXL_ImproperNumberOfArguments);
}

} // namespace
