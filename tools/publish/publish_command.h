// The command line of the release tool "publish": its options, its help
// text and the whole run, with everything it prints returned as text so the
// program's main only converts arguments and writes the texts out.
#pragma once

#include <string>
#include <vector>

#include "publish/release_builder.h"

// Exit codes of the program.
const int kPublishOk = 0;
const int kPublishUsageError = 1;  // unknown option, missing or bad value
const int kPublishFailed = 2;      // the release could not be built

enum PublishArgsResult {
    PUBLISH_ARGS_RUN,   // options filled, build the release
    PUBLISH_ARGS_HELP,  // --help or -h: print the usage text
    PUBLISH_ARGS_ERROR,
};

// Fills options from the arguments (without the program name). Options take
// their value as the next argument or after '=' ("--out=DIR"). Returns
// PUBLISH_ARGS_ERROR, with error saying which argument is wrong, for an
// unknown option, a missing or invalid value, or a missing --src, --out or
// --version.
PublishArgsResult ParsePublishArgs(const std::vector<std::wstring>& args, SReleaseOptions& options,
                                   std::wstring& error);

// The help text, one option a line.
std::wstring PublishUsage();

// Runs the tool: parses the arguments and builds the release. Sets out to
// what belongs on standard output (the help text, the summary) and err to
// what belongs on standard error (warnings, the error line). Returns
// kPublishOk, or kPublishUsageError for bad arguments, kPublishFailed when
// the build fails.
int RunPublish(const std::vector<std::wstring>& args, std::wstring& out, std::wstring& err);
