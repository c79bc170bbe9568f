#pragma once
// The stop of the whole process: asked for by SIGINT or SIGTERM (or by the
// program itself), read by the window's loop, by the watcher of message
// boxes and by anything that would otherwise keep a stopping program
// waiting.
namespace os {

// Safe in a signal handler.
void PostStop();
bool StopRequested();
// Sleeps until a stop is posted; a signal may also end the sleep early, so
// callers look at StopRequested() again.
void WaitForStopPost();

} // namespace os
