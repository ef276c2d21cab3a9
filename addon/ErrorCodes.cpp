#include "ErrorCodes.h"

namespace Kestrine {

const char* ErrorCodeToString(int32_t code) {
  switch (code) {
    case 0: return "APIERR_SUCCESS";
    case -100: return "APIERR_CLIENT_NOT_INSTALLED";
    case -101: return "APIERR_CLIENT_NOT_RUNNING";
    case -102: return "APIERR_INVALID_USER_OR_PASSWORD";
    case -103: return "APIERR_UNHANDLED_EXCEPTION";
    case -104: return "APIERR_NOT_FOUND";
    case -105: return "APIERR_NOT_LOGGED_IN";
    case -106: return "APIERR_UNKNOWN";
    case -107: return "APIERR_NOT_ACCEPTED_EULA";
    // -108 and -109 are not assigned by the client.
    case -110: return "APIERR_INVALID_ARGUMENT";
    case -111: return "APIERR_NOT_SUPPORTED";
    case -112: return "APIERR_ALREADY_LOGGED_IN";
    case -113: return "APIERR_FOLDER_NOT_FOUND";
    case -114: return "APIERR_UNABLE_TO_START_APP";
    case -115: return "APIERR_API_OBSOLETE";
    case -116: return "APIERR_SERVICE_UNAVAILABLE";
    case -117: return "APIERR_USER_NOT_AFFILIATED";
    case -201: return "APIERR_PREFSYNC_PLUGIN_NOT_FOUND";
    case -202: return "APIERR_PREFSYNC_APP_NOT_REGISTERED";
    default: return "Unknown error code";
  }
}

std::string ClientErrorMessage(const char* prefix, int32_t code) {
  std::string message = prefix;
  message += ErrorCodeToString(code);
  return message;
}

}  // namespace Kestrine
