// What regini.exe does with a script, played on the simulated PC's
// registry: a test that saw a program start "regini.exe reg.ini" runs the
// script here, as the started program would have.
//
// Script format: a line that names a key (absolute "\Registry\..." or, when
// indented below a key, a subkey of it; an ACL in brackets after the name
// is ignored), and indented below it lines "Name = TYPE data" for its
// values: REG_DWORD with a decimal or 0x number, REG_SZ and REG_EXPAND_SZ
// with text (optionally in double quotes), REG_MULTI_SZ with quoted texts;
// no type means REG_SZ.  ';' as a line's first non-blank character begins a
// comment; a backslash at the end of a line continues it on the next.
#pragma once

#include <string>
#include <vector>

#include "program_launcher.h"
#include "registry.h"

namespace simpc {

// Applies a script; returns one problem for each line that it could not
// apply (nothing when the whole script applied).
std::vector<std::string> ApplyReginiScript(Registry& registry, const std::string& script);

// Plays a recorded start of "regini.exe <script>": the script file is found
// relative to the start's current directory.  Returns the problems; a start
// of another program or a missing script is one.
std::vector<std::string> RunRegini(const ProcessStart& start);

} // namespace simpc
