// The application object for test programs whose own main makes none: the
// event-pumping waits and the sockets need one for their event loop.
#pragma once

namespace testsupport {

// Creates a QCoreApplication once for the whole program, if none exists yet.
void EnsureApplication();

}  // namespace testsupport
