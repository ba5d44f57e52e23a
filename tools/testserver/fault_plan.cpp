#include "fault_plan.h"

#include <climits>
#include <sstream>

#include "decimal_text.h"

bool ParseFaultPlan(const std::string& text, FaultPlan& out, std::string& error) {
    FaultPlan plan;
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.empty()) continue;
        size_t eq = item.find('=');
        std::string key = item.substr(0, eq);
        std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        long long n = 0;
        bool ok = true;
        if (key == "ignore-range") {
            ok = value.empty() || value == "1";
            plan.ignoreRange = true;
        } else if (key == "range-shift") {
            ok = ParseDecimal(value, -LLONG_MAX / 2, LLONG_MAX / 2, n);
            plan.rangeShift = n;
        } else if (key == "status") {
            ok = ParseDecimal(value, 100, 999, n);
            plan.status = static_cast<int>(n);
        } else if (key == "cut") {
            ok = ParseDecimal(value, 0, LLONG_MAX, n);
            plan.cutAfter = n;
        } else if (key == "stall") {
            ok = ParseDecimal(value, 0, INT_MAX, n);
            plan.stallMs = static_cast<int>(n);
        } else if (key == "stall-body") {
            ok = ParseDecimal(value, 0, INT_MAX, n);
            plan.stallBodyMs = static_cast<int>(n);
        } else if (key == "size") {
            ok = ParseDecimal(value, 0, LLONG_MAX, n);
            plan.size = n;
        } else if (key == "corrupt") {
            ok = ParseDecimal(value, 0, LLONG_MAX, n);
            plan.corruptAt = n;
        } else if (key == "times") {
            ok = ParseDecimal(value, 1, INT_MAX, n);
            plan.times = static_cast<int>(n);
        } else {
            error = "unknown fault '" + key + "'";
            return false;
        }
        if (!ok) {
            error = "bad value in '" + item + "'";
            return false;
        }
    }
    out = plan;
    return true;
}
