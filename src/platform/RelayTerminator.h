#pragma once
// Ends the companion relay process, found by the title of its main window. The relay watchdog only
// needs to know whether such a window was found and whether its process could be ended.

#include <QString>

namespace corvane {

enum class RelayTermination {
    NotFound,   // no top-level window has that title
    Terminated, // the owning process was killed
    Refused,    // a window was found but its process could not be identified or killed
};

class RelayTerminator {
public:
    virtual ~RelayTerminator() = default;
    // Looks for a top-level window whose title is exactly `title` and kills the process that owns it.
    virtual RelayTermination terminateWindowOwner(const QString& title) = 0;
};

} // namespace corvane
