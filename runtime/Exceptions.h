// Exceptions that carry the system's message texts, and a small message formatter.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ql {

/// Root of every exception this system raises; the message is the text a user sees.
class Exception : public std::exception {
  public:
    explicit Exception(std::string message) : fMessage(std::move(message)) {}
    const char* what() const noexcept override { return fMessage.c_str(); }
    const std::string& Message() const noexcept { return fMessage; }

  private:
    std::string fMessage;
};

// Names and bases cannot be parenthesised in a class head.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define QL_DECLARE_EXCEPTION(Name, Base)                                                                     \
    class Name : public Base {                                                                               \
      public:                                                                                                \
        using Base::Base;                                                                                    \
    }
// NOLINTEND(bugprone-macro-parentheses)

QL_DECLARE_EXCEPTION(EConvertError, Exception);     ///< text to number, assignment between unrelated classes
QL_DECLARE_EXCEPTION(EListError, Exception);        ///< index outside a list or collection
QL_DECLARE_EXCEPTION(EReadError, Exception);        ///< malformed stored description
QL_DECLARE_EXCEPTION(EWriteError, Exception);       ///< an object that no stored description can hold
QL_DECLARE_EXCEPTION(EPropertyError, Exception);    ///< unknown or read-only published property
QL_DECLARE_EXCEPTION(EResNotFound, Exception);      ///< no stored description for a class
QL_DECLARE_EXCEPTION(EOutOfMemory, Exception);      ///< a size that cannot be allocated
QL_DECLARE_EXCEPTION(EInvalidOperation, Exception); ///< an operation the object's state does not allow

/// Fills %s, %d, %x and %% placeholders in order with already formatted arguments.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

/// Decimal text of an integer (for Format arguments).
std::string IntToStr(long long value);

/// The runtime's standard message for a list index outside its list.
[[noreturn]] void ListIndexError(long long index);

} // namespace ql
