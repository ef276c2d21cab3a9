// Which pipe names stay inside the pipe namespace.
//
// The name comes from the redirect URL, which any web page controls, and the system normalises
// "\\.\pipe\" paths like any other: "/" becomes "\", "." and ".." components are resolved and
// trailing dots and spaces are dropped. A name such as "..\C:\Users\x\file" would therefore open an
// ordinary file for writing.
#pragma once

#include <string>

// True when every component of the name (split at "\" and "/") is non-empty and holds a character
// other than "." and " ". That refuses the empty name, "." and ".." (and spellings the system folds
// into them, such as "..." or ". ."), and leading, trailing or doubled separators, while ordinary
// names, dotted names like "a.b", nested names like "app\signin" and non-ASCII names pass.
bool IsPipeNameInsideNamespace(const std::u16string& name);
