#include "EXL_Exceptions.h"

EXL_BaseException::EXL_BaseException(const std::string &message)
    : std::runtime_error(message), m_message(message)
{
}
EXL_BaseException::~EXL_BaseException() = default;

#define EXL_DEFINE_EXCEPTION(NAME, BASE)                                                                     \
    NAME::NAME(const std::string &message) : BASE(message) {}                                                \
    NAME::~NAME() = default;

EXL_DEFINE_EXCEPTION(EXL_ErrorException, EXL_BaseException)
EXL_DEFINE_EXCEPTION(EXL_ImproperNumberOfArguments, EXL_ErrorException)
EXL_DEFINE_EXCEPTION(EXL_ImproperTypeOfArgument, EXL_ErrorException)
EXL_DEFINE_EXCEPTION(EXL_TypeDoesNotMatchException, EXL_ErrorException)
EXL_DEFINE_EXCEPTION(EXL_BadServiceInitializationException, EXL_ErrorException)

EXL_SyntaxError::EXL_SyntaxError(std::size_t position, const std::string &what)
    : EXL_ErrorException("syntax error at position " + std::to_string(position) + ": " + what),
      m_position(position)
{
}
EXL_SyntaxError::~EXL_SyntaxError() = default;
