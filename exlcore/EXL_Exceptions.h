#pragma once

#include "EXL_Export.h"

#include <stdexcept>
#include <string>

// Root of the framework's exceptions; each carries a message, which may be empty.
class EXL_EXPORT EXL_BaseException : public std::runtime_error {
public:
    explicit EXL_BaseException(const std::string &message);
    ~EXL_BaseException() override;
    const std::string &message() const { return m_message; }

private:
    std::string m_message;
};

#define EXL_DECLARE_EXCEPTION(NAME, BASE)                                                                    \
    class EXL_EXPORT NAME : public BASE {                                                                    \
    public:                                                                                                  \
        explicit NAME(const std::string &message);                                                           \
        ~NAME() override;                                                                                    \
    };

EXL_DECLARE_EXCEPTION(EXL_ErrorException, EXL_BaseException)
EXL_DECLARE_EXCEPTION(EXL_ImproperNumberOfArguments, EXL_ErrorException)
EXL_DECLARE_EXCEPTION(EXL_ImproperTypeOfArgument, EXL_ErrorException)
EXL_DECLARE_EXCEPTION(EXL_TypeDoesNotMatchException, EXL_ErrorException)
EXL_DECLARE_EXCEPTION(EXL_BadServiceInitializationException, EXL_ErrorException)

// A text that is not a well-formed expression; position counts characters from 1.
class EXL_EXPORT EXL_SyntaxError : public EXL_ErrorException {
public:
    EXL_SyntaxError(std::size_t position, const std::string &what);
    ~EXL_SyntaxError() override;
    std::size_t position() const { return m_position; }

private:
    std::size_t m_position;
};
