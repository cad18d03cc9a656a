#pragma once

#include <sys/resource.h>

// Raises this process's soft limit on open descriptors to its hard limit, so that many
// connections or parallel uploads do not run out at the customary soft limit of 1024. Gives the
// soft limit in force afterwards; the old one when it could not be raised.
//
// Children inherit the raised limit. A limit alone breaks no one: a select() user fails only
// once it holds descriptors past 1024 itself, which curl, ping and sitepack never do (they open
// a handful and wait in poll()); and the runner starts children through posix_spawn, which
// offers no step in which the limit could be put back.
rlim_t RaiseOpenFileLimit();
