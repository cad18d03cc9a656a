#pragma once

#include <QString>

// The folder of the running program file, always with a trailing "/". Settings, the log
// configuration, the help pages and the packer lie in it.
QString ProgramFolder();
