// Handing one line to the script logger, on the logger's script thread, with containment.
#pragma once

#include <napi.h>

#include <cstddef>

namespace Kestrine {

// Reads the logger's `member` afresh and, unless it is undefined (the line is then dropped), calls
// it with `this` undefined and exactly two strings: the category (UTF-8) and the message
// (`length` UTF-16 units as the client library sent them, made into a script string directly).
//
// Nothing escapes into the caller, which may be the client library, and no exception is left
// pending: a message that is not well-formed UTF-16 (RangeError "bad conversion"), a member that
// throws while read, one that is not a function (TypeError "The logger's <member> is not a
// function") and a function that throws are handed to process.emitWarning in the logger's
// environment instead, and the line is dropped.
void DeliverLine(napi_env env, const Napi::ObjectReference& logger, const char* member,
                 const char* category, const wchar_t* message, size_t length) noexcept;

}  // namespace Kestrine
