// The faults the test server puts into its answers for one path, so that
// tests can show how the client copes with servers that misbehave.
#pragma once

#include <string>

struct FaultPlan {
    bool ignoreRange = false;  // answer 200 with the whole file, as servers without Range support do
    long long rangeShift = 0;  // serve, and label, the range this many bytes past the one asked for
    int status = 0;            // answer this status and no content; 0 for none
    long long cutAfter = -1;   // close the connection after this many body bytes; -1 for never
    int stallMs = 0;           // send nothing at all for this long before answering
    int stallBodyMs = 0;       // send the headers, then nothing for this long
    long long size = -1;       // serve the file as if it had this size (cut, or padded with zeros)
    long long corruptAt = -1;  // flip the bits of the byte at this file offset
    int times = -1;            // apply to this many more requests, then drop the fault; -1 for ever
};

// Parses a comma-separated list of keys, such as "status=404,times=1":
// ignore-range, range-shift=N, status=CODE, cut=N, stall=MS, stall-body=MS,
// size=N, corrupt=OFFSET, times=N. Returns false, leaving out unchanged and
// saying why in error, on an unknown key or a bad value.
bool ParseFaultPlan(const std::string& text, FaultPlan& out, std::string& error);
