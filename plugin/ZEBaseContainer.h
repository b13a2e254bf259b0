#pragma once

#include "EXL_Function.h"

// The function container Quaystone registers with the function plug-in manager: it creates the
// "match" and "sed" function objects (names are case-sensitive) and answers null for any other name.
class __attribute__((visibility("default"))) ZEBaseContainer final : public FunctionContainer {
public:
    EXL_Expression *createFunction(const char *name, EXL_ExpressionVector *arguments) override;
};
