#include "SimText.h"

#include <windows.h>

#include <cstdio>

namespace orlosim {
namespace {

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendEscape(std::string& out, unsigned unit) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", unit);
  out += buf;
}

// Escapes what JSON requires; everything else is appended as it is.
void AppendJsonCodePoint(std::string& out, char32_t cp) {
  switch (cp) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
  }
  if (cp < 0x20) {
    AppendEscape(out, static_cast<unsigned>(cp));
  } else {
    AppendUtf8(out, cp);
  }
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  int units =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
  return wide;
}

std::string WideToUtf8Lossy(std::wstring_view wide) {
  if (wide.empty()) return {};
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), bytes,
                      nullptr, nullptr);
  return utf8;
}

std::string JsonStringFromWide(std::wstring_view wide) {
  std::string out = "\"";
  for (size_t i = 0; i < wide.size(); ++i) {
    wchar_t unit = wide[i];
    if (IsHighSurrogate(unit) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
      char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                    (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
      AppendUtf8(out, cp);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendEscape(out, unit);
    } else {
      AppendJsonCodePoint(out, unit);
    }
  }
  out += '"';
  return out;
}

std::string JsonStringFromUtf8(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      out += c;  // Part of a multi-byte sequence: already UTF-8.
    } else {
      AppendJsonCodePoint(out, byte);
    }
  }
  out += '"';
  return out;
}

}  // namespace orlosim
