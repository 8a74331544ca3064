// The content check: every file the demo loads, read and decoded by the
// demo's own tables and readers without a window or a device, so that people
// who make content learn whether a folder will play before it loads.
#pragma once

#include <cstddef>
#include <ostream>

// Checks the content in AppPath: one line per file on `out` (what it holds, or
// the problem with it, naming the file and the place), then a summary line.
// Returns the number of problems; every one is listed, not only the first.
size_t CheckContent(std::ostream& out);
