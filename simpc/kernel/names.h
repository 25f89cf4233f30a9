// Names in the simulated kernel: UTF-16 text as kernel code passes it,
// held as narrow text inside the simulator (object and registry names are
// ASCII), compared without regard to case as NT compares them.
#pragma once

#include <string>

#include "ntdef.h"

namespace simpc {

std::string Narrow(const WCHAR* text, size_t units);
std::string Narrow(PCWSTR text);  // NUL-terminated
std::string Narrow(const UNICODE_STRING& text);
std::u16string Widen(const std::string& text);

// The key under which a name is found: lower case, so that lookups ignore case.
std::string FoldCase(const std::string& name);

}  // namespace simpc
