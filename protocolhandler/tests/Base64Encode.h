// Standard padded Base64, for building state values in tests.
#pragma once

#include <string>

std::string Base64Encode(const std::string& bytes);
