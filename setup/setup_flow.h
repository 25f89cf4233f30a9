// The installer from start to end: ask, look at the system, look for a
// running driver and its version, then install or update.
#pragma once

void RunSetup();
