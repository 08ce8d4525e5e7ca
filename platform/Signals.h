// Lifecycle requests arriving as POSIX signals, queued by the handler and taken on the main loop.
#pragma once

namespace platform {

enum class LifecycleSignal {
    None,
    Background,  // SIGUSR1
    Foreground,  // SIGUSR2
    Quit,        // SIGTERM, SIGINT
};

// Installs the handlers (and keeps SDL from installing its own). Idempotent.
void installLifecycleSignalHandlers();
// The next pending request in order of arrival, or None.
LifecycleSignal takeLifecycleSignal();

}  // namespace platform
