#include "LoggerDelivery.h"

#include <string>

#include "common/Text.h"

namespace Kestrine {
namespace {

void ClearPendingException(napi_env env) {
  napi_value ignored;
  napi_get_and_clear_last_exception(env, &ignored);
}

// Shows on standard error by default and reaches process.on('warning') listeners; either way the
// script method that made the client call carries on. A thrown value that is not an Error becomes
// one with its text.
void ReportContained(napi_env env, const Napi::Error& error) noexcept {
  try {
    Napi::Env scriptEnv(env);
    Napi::Value warning = error.Value();
    bool isError = false;
    napi_is_error(env, warning, &isError);
    if (!isError) {
      warning = Napi::Error::New(scriptEnv, warning.ToString().Utf8Value()).Value();
    }
    Napi::Object process = scriptEnv.Global().Get("process").As<Napi::Object>();
    Napi::Value emitWarning = process.Get("emitWarning");
    if (emitWarning.IsFunction()) emitWarning.As<Napi::Function>().Call(process, {warning});
  } catch (...) {
    ClearPendingException(env);
  }
}

void CallMember(napi_env env, const Napi::ObjectReference& logger, const char* member,
                const char* category, const wchar_t* message, size_t length) {
  // The standard converter's rule, without paying for a UTF-8 copy the script string does not need.
  if (!fennor::IsWellFormedUtf16(std::wstring_view(message, length))) {
    throw Napi::RangeError::New(env, "bad conversion");
  }
  napi_value object = logger.Value();
  napi_value function;
  NAPI_THROW_IF_FAILED_VOID(env, napi_get_named_property(env, object, member, &function));
  napi_valuetype type;
  NAPI_THROW_IF_FAILED_VOID(env, napi_typeof(env, function, &type));
  if (type == napi_undefined) return;
  if (type != napi_function) {
    throw Napi::TypeError::New(env, std::string("The logger's ") + member + " is not a function");
  }
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "the client library's text is UTF-16");
  napi_value args[2], receiver, result;
  NAPI_THROW_IF_FAILED_VOID(env,
                            napi_create_string_utf8(env, category, NAPI_AUTO_LENGTH, &args[0]));
  NAPI_THROW_IF_FAILED_VOID(
      env, napi_create_string_utf16(env, reinterpret_cast<const char16_t*>(message), length,
                                    &args[1]));
  NAPI_THROW_IF_FAILED_VOID(env, napi_get_undefined(env, &receiver));
  NAPI_THROW_IF_FAILED_VOID(env, napi_call_function(env, receiver, function, 2, args, &result));
}

}  // namespace

void DeliverLine(napi_env env, const Napi::ObjectReference& logger, const char* member,
                 const char* category, const wchar_t* message, size_t length) noexcept {
  napi_handle_scope scope;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;
  try {
    CallMember(env, logger, member, category ? category : "", message ? message : L"",
               message ? length : 0);
  } catch (const Napi::Error& error) {
    ReportContained(env, error);
  } catch (...) {
    // Out of memory while making the error's text: the line is lost, the caller carries on.
    ClearPendingException(env);
  }
  napi_close_handle_scope(env, scope);
}

}  // namespace Kestrine
