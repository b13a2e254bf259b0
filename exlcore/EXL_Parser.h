#pragma once

#include "EXL_Function.h"

#include <memory>
#include <string>
#include <vector>

class FunctionPluginManager;

// One parsed expression: it owns every node, including the function objects the manager created and
// their argument lists.
class EXL_EXPORT EXL_Program {
public:
    EXL_Program();
    ~EXL_Program();
    EXL_Program(const EXL_Program &) = delete;
    EXL_Program &operator=(const EXL_Program &) = delete;

    // Binds the whole tree to the scope; variables it names must be declared there.
    int Bind(EXL_Scope *scope);
    // Evaluates the tree; the value is then readable through root().
    int Evaluate();
    EXL_Expression *root() const { return m_root; }

    // Used while parsing: the program takes ownership.
    EXL_Expression *adopt(EXL_Expression *node);
    EXL_ExpressionVector *adopt(std::unique_ptr<EXL_ExpressionVector> arguments);
    void setRoot(EXL_Expression *root) { m_root = root; }

private:
    // Nodes in creation order; destroyed newest first, so a function goes before its arguments.
    std::vector<std::unique_ptr<EXL_Expression>> m_nodes;
    std::vector<std::unique_ptr<EXL_ExpressionVector>> m_argumentLists;
    EXL_Expression *m_root = nullptr;
};

// The expression language:
//   expression := or
//   or         := and { "||" and }
//   and        := comparison { "&&" comparison }
//   comparison := sum { ("==" | "!=" | "<" | "<=" | ">" | ">=") sum }   (left to right)
//   sum        := product { ("+" | "-") product }
//   product    := unary { ("*" | "/" | "%") unary }
//   unary      := ("!" | "-") unary | primary
//   primary    := number | string | "true" | "false" | name "(" [ expression { "," expression } ] ")"
//               | name | "(" expression ")"
// Strings are written in double quotes; \n, \t, \r, \" and \\ are escapes, and a backslash before any
// other character stands for itself (so sed scripts and regular expressions keep theirs). Numbers
// are decimal integers (long) or have a fraction or exponent (double).
//
// Functions are created through the manager when they are parsed; a syntax error throws
// EXL_SyntaxError naming the position (counted from 1), an unknown function EXL_ErrorException.
// Expressions nest at most EXL_MaxNesting levels deep, counting every operator, call and parenthesis
// between the whole and its innermost part (a chain "1 + 1 + ..." nests once per operator); a deeper
// one is a syntax error at the operator, call or parenthesis that went too deep.
inline constexpr int EXL_MaxNesting = 1000;
EXL_EXPORT std::unique_ptr<EXL_Program> EXL_Parse(const std::string &text, FunctionPluginManager *manager);
