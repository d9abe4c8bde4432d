#pragma once

#include <QString>

// The texts of the start-up failures, shown in a message box before the program ends.
namespace startup_texts {

inline QString AlreadyStarted() { return QStringLiteral("Error: Zorvi has already started!"); }
inline QString SocketsFailed() { return QStringLiteral("Windows sockets initialization failed."); }
inline QString ComponentsFailed() {
    return QStringLiteral(
        "OLE initialization failed.  Make sure that the OLE libraries are the correct version.");
}

}  // namespace startup_texts
