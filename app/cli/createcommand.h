// quillet-cli create: a folder of web pages packed into a new web file, as the window does it.
#pragma once

#include "app/cli/commandparser.h"

namespace cli {

int createCommand(const CommandCall &call);

} // namespace cli
