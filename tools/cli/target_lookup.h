// Finding the process the companion is to dump, given by id or by program name, before any
// file is made: it must exist, be one, be open to the tool and run 32-bit code.
#pragma once

#include <stdint.h>

#include <string>

#include "tools/cli/cli_args.h"

// The process's id and, when the look-up learned it, its program name; kExitDumped (0) when
// it can be dumped, otherwise the exit status with the line that says why in failure.
int LookUpTarget(const CliArguments& args, uint32_t& processId, std::wstring& programName, std::string& failure);
