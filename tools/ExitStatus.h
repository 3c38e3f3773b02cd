// The exit statuses of vmlctl, one set for every subcommand, so a script can branch on them
// without knowing which command it ran. The help's footer prints kExitStatusTable; docs/fleets.md
// and the man page (packaging/vmlctl.h2m) carry the same table.
#pragma once

namespace vmlctl {

constexpr int kExitOk = 0;             // done; config plan and apply --check: nothing differs
constexpr int kExitFailed = 1;         // a device operation failed (on some device of an inventory);
                                       // discover: no endpoint answered as a device
constexpr int kExitChanges = 2;        // config plan and config apply --check only: changes pending
constexpr int kExitNoneSucceeded = 3;  // --inventory: not one device succeeded
constexpr int kExitUsage = 64;         // usage error or unusable input file; nothing was sent
constexpr int kExitInterrupted = 130;  // --inventory or discover stopped by Ctrl-C

inline constexpr const char* kExitStatusTable =
    "Exit status:\n"
    "  0    done; config plan, config apply --check: nothing differs\n"
    "  1    a device operation failed (with --inventory: on some devices); discover: no device found\n"
    "  2    config plan, config apply --check: changes pending (no other command exits 2)\n"
    "  3    with --inventory: no device succeeded\n"
    "  64   usage error, or an input or output file that cannot be used; nothing was sent\n"
    "  130  an --inventory run or a discover scan stopped by Ctrl-C";

}  // namespace vmlctl
