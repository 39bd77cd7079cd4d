// The message pump of the user-interface thread.
//
// Threading: user-interface thread only.
#pragma once

// Processes every pending window message and event of the application, then returns. Does
// nothing when no application object exists (tools and tests without a GUI).
void ProcessMessages();
