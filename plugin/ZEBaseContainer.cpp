#include "ZEBaseContainer.h"

#include "EXL_Exceptions.h"
#include "EXL_Function_Match.h"
#include "EXL_Function_Sed.h"

#include <cstring>

namespace {

void requireTwoArguments(const EXL_ExpressionVector *arguments, const char *name)
{
    if (!arguments || arguments->size() != 2)
        throw EXL_ImproperNumberOfArguments(name);
}

} // namespace

EXL_Expression *ZEBaseContainer::createFunction(const char *name, EXL_ExpressionVector *arguments)
{
    if (!name)
        return nullptr;
    if (std::strcmp(name, "match") == 0) {
        requireTwoArguments(arguments, "match");
        return new EXL_Function_Match(arguments);
    }
    if (std::strcmp(name, "sed") == 0) {
        requireTwoArguments(arguments, "sed");
        return new EXL_Function_Sed(arguments);
    }
    return nullptr;
}
