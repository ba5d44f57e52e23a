#include "server_options.h"

#include <climits>
#include <fstream>
#include <iterator>

#include "decimal_text.h"

const char kServerUsage[] =
    "usage: testserver [options]\n"
    "  --root DIR                the release folder to serve\n"
    "  --host ADDR               a 127.x.x.x address (default 127.0.0.1)\n"
    "  --port N                  the port (default: an ephemeral one)\n"
    "  --port-file FILE          write the port there once listening\n"
    "  --rate BYTES_PER_SECOND   bandwidth shared by all connections (default: unlimited)\n"
    "  --delay MS                wait before each answer\n"
    "  --fault PATH:FAULTS       e.g. /a.bin:cut=1000,times=1 or *:status=500 (repeatable)\n"
    "                            faults: ignore-range range-shift=N status=CODE cut=N stall=MS\n"
    "                            stall-body=MS size=N corrupt=OFFSET times=N\n"
    "  --reply NAME=FILE         the reply to query getClientAccKey or QueryClientVer (repeatable)\n"
    "  --reply-status NAME=CODE  its HTTP status (default 200)\n"
    "  --report-dir DIR          store error reports there, inflated\n"
    "  --record FILE             append a record line per request\n"
    "  --idle-timeout SEC        end after SEC without requests; 0: never (default 120)\n"
    "  --keep-alive-timeout SEC  close idle kept-alive connections after SEC (default 5)\n"
    "It prints \"listening HOST:PORT\" once it listens, and runs until killed,\n"
    "until POST /__shutdown or until the idle time-out.\n";

namespace {

bool SplitAt(const std::string& text, size_t at, std::string& left, std::string& right) {
    if (at == std::string::npos || at == 0) return false;
    left = text.substr(0, at);
    right = text.substr(at + 1);
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

bool ParseServerArgs(const std::vector<std::string>& args, ServerOptions& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = "missing value for " + name;
            return false;
        }
        long long n = 0;
        std::string left, right;
        bool ok = true;
        if (name == "--root") {
            options.root = value;
        } else if (name == "--host") {
            options.host = value;
        } else if (name == "--port") {
            ok = ParseDecimal(value, 0, 65535, n);
            options.port = static_cast<int>(n);
        } else if (name == "--port-file") {
            options.portFile = value;
        } else if (name == "--rate") {
            ok = ParseDecimal(value, 0, 1LL << 40, n);
            options.rate = n;
        } else if (name == "--delay") {
            ok = ParseDecimal(value, 0, 3600 * 1000, n);
            options.delayMs = static_cast<int>(n);
        } else if (name == "--fault") {
            FaultPlan fault;
            ok = SplitAt(value, value.rfind(':'), left, right) && ParseFaultPlan(right, fault, error);
            if (ok) options.faults[left] = fault;
        } else if (name == "--reply") {
            std::string body;
            ok = SplitAt(value, value.find('='), left, right) && IsQueryName(left);
            if (ok && !ReadWholeFile(right, body)) {
                error = "cannot read " + right;
                return false;
            }
            if (ok) options.replies[left].body = body;
        } else if (name == "--reply-status") {
            ok = SplitAt(value, value.find('='), left, right) && IsQueryName(left) &&
                 ParseDecimal(right, 100, 999, n);
            if (ok) options.replies[left].status = static_cast<int>(n);
        } else if (name == "--report-dir") {
            options.reportDir = value;
        } else if (name == "--record") {
            options.recordFile = value;
        } else if (name == "--idle-timeout") {
            ok = ParseDecimal(value, 0, INT_MAX, n);
            options.idleTimeoutSec = static_cast<int>(n);
        } else if (name == "--keep-alive-timeout") {
            ok = ParseDecimal(value, 1, 3600, n);
            options.keepAliveTimeoutSec = static_cast<int>(n);
        } else {
            error = "unknown option " + name;
            return false;
        }
        if (!ok) {
            error = "bad value for " + name + ": " + value + (error.empty() ? "" : " (" + error + ")");
            return false;
        }
    }
    return true;
}
