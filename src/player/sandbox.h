// The player process's lock-down, entered before the media library starts and before it reads a
// byte of a movie: from then on the process decodes what it is handed and draws into what it is
// given, and reaches nothing else of the user's: no network, no new programs, no other
// process, no file of the user's, no file opened for writing.
#pragma once

#include <string>
#include <vector>

namespace vidrake::player {

struct SandboxOptions {
    bool landlock = true;  // false: as on a kernel without it, so its stand-in can be tried
};

struct SandboxResult {
    bool locked = false;               // seccomp and no-new-privileges are in force
    std::string failure;               // why not, when not
    std::vector<std::string> missing;  // the optional layers the kernel refused, in words
};

// Locks the calling process down. Must run before any thread is started: Landlock binds only
// the thread that enters it and the threads it starts afterwards.
SandboxResult enterSandbox(const SandboxOptions& options = {});

}  // namespace vidrake::player
