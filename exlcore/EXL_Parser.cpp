#include "EXL_Parser.h"

#include "EXL_Exceptions.h"
#include "FunctionPluginManager.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <unordered_map>

namespace {

// A comparison of two operands through the left operand's expression form.
class ComparisonNode : public EXL_BoolExpression {
public:
    ComparisonNode(EXL_Op op, EXL_Expression *left, EXL_Expression *right)
        : m_op(op), m_left(left), m_right(right)
    {
    }

    int Bind(EXL_Scope *scope) override
    {
        return m_left->Bind(scope) < 0 || m_right->Bind(scope) < 0 ? -1 : 0;
    }
    int Evaluate() override
    {
        m_left->Evaluate();
        m_right->Evaluate();
        switch (m_op) {
        case EXL_Op::Equal:
            m_value = m_left->Equal(*m_right);
            break;
        case EXL_Op::NotEqual:
            m_value = m_left->NotEqual(*m_right);
            break;
        case EXL_Op::Greater:
            m_value = m_left->Greater(*m_right);
            break;
        case EXL_Op::Less:
            m_value = m_left->Less(*m_right);
            break;
        case EXL_Op::GreaterEqual:
            m_value = m_left->GreaterEqual(*m_right);
            break;
        default:
            m_value = m_left->LessEqual(*m_right);
            break;
        }
        return 0;
    }

private:
    EXL_Op m_op;
    EXL_Expression *m_left;
    EXL_Expression *m_right;
};

// Add, Sub, Mul, Div or Mod; the left operand creates the expression that holds the result.
class ArithmeticNode : public EXL_Expression {
public:
    ArithmeticNode(EXL_Op op, EXL_Expression *left, EXL_Expression *right)
        : m_op(op), m_left(left), m_right(right)
    {
    }

    int Bind(EXL_Scope *scope) override
    {
        if (m_left->Bind(scope) < 0 || m_right->Bind(scope) < 0)
            return -1;
        m_result.reset(m_left->CreateResultFor(*m_right));
        return 0;
    }
    int Evaluate() override
    {
        m_left->Evaluate();
        m_right->Evaluate();
        EXL_Variant value;
        switch (m_op) {
        case EXL_Op::Add:
            value = m_left->Add(*m_right);
            break;
        case EXL_Op::Sub:
            value = m_left->Sub(*m_right);
            break;
        case EXL_Op::Mul:
            value = m_left->Mul(*m_right);
            break;
        case EXL_Op::Div:
            value = m_left->Div(*m_right);
            break;
        default:
            value = m_left->Mod(*m_right);
            break;
        }
        m_result->rAssignVariant(value);
        return 0;
    }
    int TypeCode() override { return m_result ? m_result->TypeCode() : EXL_TYPE_NONE; }
    EXL_Variant Value() override { return m_result ? m_result->Value() : EXL_Variant(); }

private:
    EXL_Op m_op;
    EXL_Expression *m_left;
    EXL_Expression *m_right;
    std::unique_ptr<EXL_Expression> m_result;
};

// && and || (evaluated left to right, the right operand only when it decides) and !.
class LogicalNode : public EXL_BoolExpression {
public:
    enum Kind { And, Or, Not };
    LogicalNode(Kind kind, EXL_Expression *left, EXL_Expression *right)
        : m_kind(kind), m_left(left), m_right(right)
    {
    }

    int Bind(EXL_Scope *scope) override
    {
        if (m_left->Bind(scope) < 0 || (m_right && m_right->Bind(scope) < 0))
            return -1;
        return 0;
    }
    int Evaluate() override
    {
        m_left->Evaluate();
        const bool left = m_left->AsBool();
        if (m_kind == Not) {
            m_value = !left;
        } else if (m_kind == And ? !left : left) {
            m_value = left;
        } else {
            m_right->Evaluate();
            m_value = m_right->AsBool();
        }
        return 0;
    }

private:
    Kind m_kind;
    EXL_Expression *m_left;
    EXL_Expression *m_right;
};

// A name that refers to a variable of the scope the program is bound to.
class VariableReference : public EXL_VariableAbstract {
public:
    explicit VariableReference(std::string name) : EXL_VariableAbstract(std::move(name)) {}

    int Bind(EXL_Scope *scope) override
    {
        m_target = scope ? scope->Find(name()) : nullptr;
        if (!m_target) {
            ReportError("Unknown variable " + name());
            throw EXL_ErrorException("unknown variable " + name());
        }
        return 0;
    }
    int TypeCode() override { return m_target ? m_target->TypeCode() : EXL_TYPE_NONE; }
    EXL_Variant Value() override { return m_target ? m_target->Value() : EXL_Variant(); }
    std::string AsString() override { return m_target->AsString(); }
    std::string asString(const char *format) override { return m_target->asString(format); }

private:
    EXL_Variable *m_target = nullptr;
};

class Parser {
public:
    Parser(const std::string &text, FunctionPluginManager *manager, EXL_Program &program)
        : m_text(text), m_manager(manager), m_program(program)
    {
    }

    EXL_Expression *parseAll()
    {
        EXL_Expression *root = parseOr();
        skipBlanks();
        if (m_pos < m_text.size())
            fail("unexpected \"" + m_text.substr(m_pos, 1) + "\"");
        return root;
    }

private:
    [[noreturn]] void fail(const std::string &what) const { throw EXL_SyntaxError(m_pos + 1, what); }

    void skipBlanks()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    bool accept(const char *token)
    {
        skipBlanks();
        const std::size_t length = std::char_traits<char>::length(token);
        if (m_text.compare(m_pos, length, token) != 0)
            return false;
        m_pos += length;
        return true;
    }
    void expect(const char *token)
    {
        if (!accept(token))
            fail(std::string("expected \"") + token + "\"");
    }
    EXL_Expression *adopt(EXL_Expression *node) { return m_program.adopt(node); }

    // Binding and evaluation recurse once per level of the tree, so a node may not lie deeper than
    // EXL_MaxNesting; the error names the position of the operator or call that went too deep.
    int depthOf(EXL_Expression *node) const
    {
        const auto found = m_depth.find(node);
        return found == m_depth.end() ? 0 : found->second; // literals and variables
    }
    EXL_Expression *adoptOver(EXL_Expression *node, std::initializer_list<EXL_Expression *> operands,
                              std::size_t position)
    {
        int deepest = 0;
        for (EXL_Expression *operand : operands)
            deepest = std::max(deepest, depthOf(operand));
        return adoptAt(node, deepest + 1, position);
    }
    EXL_Expression *adoptAt(EXL_Expression *node, int depth, std::size_t position)
    {
        adopt(node);
        if (depth > EXL_MaxNesting)
            tooDeep(position);
        m_depth[node] = depth;
        return node;
    }
    [[noreturn]] void tooDeep(std::size_t position)
    {
        m_pos = position;
        fail("expression nested deeper than " + std::to_string(EXL_MaxNesting) + " levels");
    }
    // The parser itself recurses once per opening parenthesis, call and prefix operator.
    struct Nesting {
        Nesting(Parser &parser, std::size_t position) : parser(parser)
        {
            if (++parser.m_nesting > EXL_MaxNesting)
                parser.tooDeep(position);
        }
        ~Nesting() { --parser.m_nesting; }
        Parser &parser;
    };

    EXL_Expression *parseOr()
    {
        EXL_Expression *left = parseAnd();
        for (std::size_t at = operatorAt(); accept("||"); at = operatorAt()) {
            EXL_Expression *right = parseAnd();
            left = adoptOver(new LogicalNode(LogicalNode::Or, left, right), {left, right}, at);
        }
        return left;
    }
    EXL_Expression *parseAnd()
    {
        EXL_Expression *left = parseComparison();
        for (std::size_t at = operatorAt(); accept("&&"); at = operatorAt()) {
            EXL_Expression *right = parseComparison();
            left = adoptOver(new LogicalNode(LogicalNode::And, left, right), {left, right}, at);
        }
        return left;
    }
    EXL_Expression *parseComparison()
    {
        EXL_Expression *left = parseSum();
        static const struct {
            const char *token;
            EXL_Op op;
        } comparisons[] = {{"==", EXL_Op::Equal},        {"!=", EXL_Op::NotEqual}, {"<=", EXL_Op::LessEqual},
                           {">=", EXL_Op::GreaterEqual}, {"<", EXL_Op::Less},      {">", EXL_Op::Greater}};
        for (bool more = true; more;) {
            more = false;
            const std::size_t at = operatorAt();
            for (const auto &comparison : comparisons)
                if (accept(comparison.token)) {
                    EXL_Expression *right = parseSum();
                    left = adoptOver(new ComparisonNode(comparison.op, left, right), {left, right}, at);
                    more = true;
                    break;
                }
        }
        return left;
    }
    struct BinaryOperator {
        const char *token;
        EXL_Op op;
    };
    // One left-associative level of arithmetic operators above the level `next`.
    template <std::size_t N>
    EXL_Expression *parseArithmetic(EXL_Expression *(Parser::*next)(), const BinaryOperator (&operators)[N])
    {
        EXL_Expression *left = (this->*next)();
        for (bool more = true; more;) {
            more = false;
            const std::size_t at = operatorAt();
            for (const BinaryOperator &candidate : operators)
                if (accept(candidate.token)) {
                    EXL_Expression *right = (this->*next)();
                    left = adoptOver(new ArithmeticNode(candidate.op, left, right), {left, right}, at);
                    more = true;
                    break;
                }
        }
        return left;
    }
    EXL_Expression *parseSum()
    {
        static const BinaryOperator operators[] = {{"+", EXL_Op::Add}, {"-", EXL_Op::Sub}};
        return parseArithmetic(&Parser::parseProduct, operators);
    }
    EXL_Expression *parseProduct()
    {
        static const BinaryOperator operators[] = {
            {"*", EXL_Op::Mul}, {"/", EXL_Op::Div}, {"%", EXL_Op::Mod}};
        return parseArithmetic(&Parser::parseUnary, operators);
    }
    EXL_Expression *parseUnary()
    {
        skipBlanks();
        const std::size_t at = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '!' && m_text.compare(m_pos, 2, "!=") != 0) {
            ++m_pos;
            Nesting nesting(*this, at);
            EXL_Expression *operand = parseUnary();
            return adoptOver(new LogicalNode(LogicalNode::Not, operand, nullptr), {operand}, at);
        }
        if (accept("-")) {
            Nesting nesting(*this, at);
            EXL_Expression *zero = adopt(new EXL_LongLiteral(0L));
            EXL_Expression *operand = parseUnary();
            return adoptOver(new ArithmeticNode(EXL_Op::Sub, zero, operand), {operand}, at);
        }
        return parsePrimary();
    }
    EXL_Expression *parsePrimary()
    {
        skipBlanks();
        if (m_pos >= m_text.size())
            fail("expression expected, found the end");
        const char c = m_text[m_pos];
        if (c == '(') {
            Nesting nesting(*this, m_pos);
            ++m_pos;
            EXL_Expression *inner = parseOr();
            expect(")");
            return inner;
        }
        if (c == '"')
            return parseString();
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.')
            return parseNumber();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
            return parseName();
        fail("unexpected \"" + std::string(1, c) + "\"");
    }
    EXL_Expression *parseString()
    {
        const std::size_t start = m_pos++;
        std::string value;
        while (m_pos < m_text.size() && m_text[m_pos] != '"') {
            char c = m_text[m_pos++];
            if (c == '\\' && m_pos < m_text.size()) {
                const char next = m_text[m_pos];
                switch (next) {
                case 'n':
                    c = '\n';
                    ++m_pos;
                    break;
                case 't':
                    c = '\t';
                    ++m_pos;
                    break;
                case 'r':
                    c = '\r';
                    ++m_pos;
                    break;
                case '"':
                case '\\':
                    c = next;
                    ++m_pos;
                    break;
                default:
                    break; // the backslash stands for itself
                }
            }
            value += c;
        }
        if (m_pos >= m_text.size()) {
            m_pos = start;
            fail("unterminated string");
        }
        ++m_pos;
        return adopt(new EXL_StringLiteral(std::move(value)));
    }
    EXL_Expression *parseNumber()
    {
        const std::size_t start = m_pos;
        const char *begin = m_text.c_str() + start;
        char *end = nullptr;
        errno = 0;
        const long integer = std::strtol(begin, &end, 10);
        const bool fraction = *end == '.' || *end == 'e' || *end == 'E';
        if (!fraction && end != begin && errno == 0) {
            m_pos += static_cast<std::size_t>(end - begin);
            return adopt(new EXL_LongLiteral(integer));
        }
        errno = 0;
        const double real = std::strtod(begin, &end);
        if (end == begin || errno == ERANGE)
            fail("malformed number");
        m_pos += static_cast<std::size_t>(end - begin);
        return adopt(new EXL_DoubleLiteral(real));
    }
    EXL_Expression *parseName()
    {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size()
               && (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_'))
            ++m_pos;
        const std::string name = m_text.substr(start, m_pos - start);
        if (name == "true" || name == "false")
            return adopt(new EXL_BoolLiteral(name == "true"));
        if (!accept("("))
            return adopt(new VariableReference(name));

        auto arguments = std::make_unique<EXL_ExpressionVector>();
        int deepest = 0;
        if (!accept(")")) {
            Nesting nesting(*this, start);
            do {
                arguments->push_back(parseOr());
                deepest = std::max(deepest, depthOf(arguments->back()));
            } while (accept(","));
            expect(")");
        }
        EXL_ExpressionVector *list = m_program.adopt(std::move(arguments));
        EXL_Expression *function = m_manager ? m_manager->CreateFunction(name.c_str(), list) : nullptr;
        if (!function) {
            m_pos = start;
            throw EXL_ErrorException("unknown function " + name + " at position "
                                     + std::to_string(start + 1));
        }
        return adoptAt(function, deepest + 1, start);
    }
    // Where the next operator would begin.
    std::size_t operatorAt()
    {
        skipBlanks();
        return m_pos;
    }

    const std::string &m_text;
    FunctionPluginManager *m_manager;
    EXL_Program &m_program;
    std::size_t m_pos = 0;
    int m_nesting = 0;
    std::unordered_map<const EXL_Expression *, int> m_depth;
};

} // namespace

EXL_Program::EXL_Program() = default;

EXL_Program::~EXL_Program()
{
    while (!m_nodes.empty())
        m_nodes.pop_back();
}

int EXL_Program::Bind(EXL_Scope *scope) { return m_root ? m_root->Bind(scope) : -1; }

int EXL_Program::Evaluate() { return m_root ? m_root->Evaluate() : -1; }

EXL_Expression *EXL_Program::adopt(EXL_Expression *node)
{
    m_nodes.emplace_back(node);
    return node;
}

EXL_ExpressionVector *EXL_Program::adopt(std::unique_ptr<EXL_ExpressionVector> arguments)
{
    m_argumentLists.push_back(std::move(arguments));
    return m_argumentLists.back().get();
}

std::unique_ptr<EXL_Program> EXL_Parse(const std::string &text, FunctionPluginManager *manager)
{
    auto program = std::make_unique<EXL_Program>();
    program->setRoot(Parser(text, manager, *program).parseAll());
    return program;
}
