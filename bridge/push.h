// `push <local> <remote>`: the local file to the TV over a sync stream (README, "Robustness").
#pragma once

#include "args.h"
#include "commands.h"
#include "console.h"

namespace kb {

// Returns the exit code: 0 pushed, 1 failed, 255 when there was no sync stream to send on.
int RunPush(const Invocation& inv, const Settings& settings, Console& console);

}  // namespace kb
