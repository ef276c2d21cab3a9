// Standard Base64 (with "=" padding) to bytes. Two implementations share this header: the system
// decoder on Windows, and a strict padded decoder for host builds that exercise the decoding code
// outside Windows.
#pragma once

#include <string>

// On success bytes holds the decoded bytes (earlier content replaced). The text is read up to its
// first NUL unit. Writes no messages.
bool Base64Decode(const std::u16string& text, std::string& bytes);
