// The test server's command line.
#pragma once

#include <string>
#include <vector>

#include "test_server.h"

extern const char kServerUsage[];

// Reads the arguments (without the program name) into options, each option
// as "--name value" or "--name=value" (see kServerUsage). Reply files are
// read here. Returns false with the reason in error on an unknown option, a
// missing or bad value or an unreadable reply file.
bool ParseServerArgs(const std::vector<std::string>& args, ServerOptions& options, std::string& error);
