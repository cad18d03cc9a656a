// The open-file limit of this process.
#pragma once

// Raises the soft limit to the hard one, so that a fleet of uploads or many browser connections
// do not run out of descriptors at the default 1024. Returns the soft limit now in force.
// Children inherit it; the ones Quillet starts (the TFTP client, ping, the packer) wait with
// poll(), which has no limit of 1024 descriptors.
long RaiseFileLimit();
