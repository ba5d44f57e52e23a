#include "net/winhttp_error_name.h"

#include <algorithm>
#include <iterator>

namespace {

struct ErrorNameEntry {
    uint32_t code;
    const char* name;
};

// Sorted by code, so a lookup is a binary search.
constexpr ErrorNameEntry kErrorNames[] = {
    {0, "NO_ERR"},
    {12001, "OUT_OF_HANDLES"},
    {12002, "TIMEOUT"},
    {12004, "INTERNAL_ERROR"},
    {12005, "INVALID_URL"},
    {12006, "UNRECOGNIZED_SCHEME"},
    {12007, "NAME_NOT_RESOLVED"},
    {12009, "INVALID_OPTION"},
    {12011, "OPTION_NOT_SETTABLE"},
    {12012, "SHUTDOWN"},
    {12015, "LOGIN_FAILURE"},
    {12017, "OPERATION_CANCELLED"},
    {12018, "INCORRECT_HANDLE_TYPE"},
    {12019, "INCORRECT_HANDLE_STATE"},
    {12029, "CANNOT_CONNECT"},
    {12030, "CONNECTION_ERROR"},
    {12032, "RESEND_REQUEST"},
    {12037, "SECURE_CERT_DATE_INVALID"},
    {12038, "SECURE_CERT_CN_INVALID"},
    {12044, "CLIENT_AUTH_CERT_NEEDED"},
    {12045, "SECURE_INVALID_CA"},
    {12057, "SECURE_CERT_REV_FAILED"},
    {12100, "CANNOT_CALL_BEFORE_OPEN"},
    {12101, "CANNOT_CALL_BEFORE_SEND"},
    {12102, "CANNOT_CALL_AFTER_SEND"},
    {12103, "CANNOT_CALL_AFTER_OPEN"},
    {12150, "HEADER_NOT_FOUND"},
    {12152, "INVALID_SERVER_RESPONSE"},
    {12153, "INVALID_HEADER"},
    {12154, "INVALID_QUERY_REQUEST"},
    {12155, "HEADER_ALREADY_EXISTS"},
    {12156, "REDIRECT_FAILED"},
    {12157, "SECURE_CHANNEL_ERROR"},
    {12166, "BAD_AUTO_PROXY_SCRIPT"},
    {12167, "UNABLE_TO_DOWNLOAD_SCRIPT"},
    {12169, "SECURE_INVALID_CERT"},
    {12170, "SECURE_CERT_REVOKED"},
    {12172, "NOT_INITIALIZED"},
    {12175, "SECURE_FAILURE"},
    {12178, "AUTO_PROXY_SERVICE_ERROR"},
    {12179, "SECURE_CERT_WRONG_USAGE"},
    {12180, "AUTODETECTION_FAILED"},
    {12181, "HEADER_COUNT_EXCEEDED"},
    {12182, "HEADER_SIZE_OVERFLOW"},
    {12183, "CHUNKED_ENCODING_HEADER_SIZE_OVERFLOW"},
    {12184, "RESPONSE_DRAIN_OVERFLOW"},
    {12185, "CLIENT_CERT_NO_PRIVATE_KEY"},
    {12186, "CLIENT_CERT_NO_ACCESS_PRIVATE_KEY"},
};

}  // namespace

const char* ErrorName(uint32_t errorCode) {
    const auto found = std::lower_bound(std::begin(kErrorNames), std::end(kErrorNames), errorCode,
                                        [](const ErrorNameEntry& entry, uint32_t code) { return entry.code < code; });
    if (found == std::end(kErrorNames) || found->code != errorCode) return "unknow";
    return found->name;
}
