// What the client prints on its error stream when the TV it talks to is not there, or not any
// more, and when it went silent. The installer's diagnosis reads these words to tell a TV that
// went away from one that stopped answering, as it reads the SDK client's; its host test feeds it
// these very lines. Standard headers only, so that the test can include this file alone.
#pragma once

#include <string>
#include <string_view>

namespace kb::gone {

// No target recorded to talk to.
inline constexpr std::string_view kTargetNotFound = "error: target not found\n";

// A recorded target that cannot be reached, then the reason in a line of its own.
inline constexpr std::string_view kTargetOffline = "error: target offline\n";
inline std::string CannotReach(std::string_view serial, std::string_view reason) {
    return "error: cannot reach " + std::string(serial) + ": " + std::string(reason) + "\n";
}

// A push without a sync stream to send on, after the line that says why.
inline constexpr std::string_view kNoSyncChannel = "fatal: failed to open sync channel: connection fails\n";

// A push that broke off midway, and any other command: the reason after the local file's name, or
// alone.
inline std::string FailedToPush(std::string_view local, std::string_view reason) {
    return "error: failed to push '" + std::string(local) + "': " + std::string(reason) + "\n";
}
inline std::string Failed(std::string_view reason) { return "error: " + std::string(reason) + "\n"; }

// Reasons: the TV ended the connection; a wait for the TV ran out (it is still there, but silent).
inline constexpr const char* kClosedConnection = "the device closed the connection";
inline std::string StoppedAnswering(std::string_view detail) {
    return "the device stopped answering: " + std::string(detail);
}

}  // namespace kb::gone
