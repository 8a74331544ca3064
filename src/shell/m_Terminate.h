// The orderly way out: shows the cursor, halts the music, drops the device
// objects and ends the process.
#pragma once

// Thrown by m_Terminate to end the process; the entry point returns `status`.
struct ProcessExit {
    int status;
};

[[noreturn]] void m_Terminate();
