// The simulated browser: after a started token request, opens the redirect URL the way a browser
// hands a custom-scheme URL to Windows, by starting the open command registered for its scheme.
#pragma once

#include <string>
#include <string_view>

namespace orlosim {

// Returns a JSON object for the call log: the URL and command line, and the process id or the
// failure.
std::string OpenRedirectLikeBrowser(std::wstring_view redirectUri, std::wstring_view state);

}  // namespace orlosim
