#include "launcher/web_home.h"

std::wstring WebHomeUrlOf(const std::wstring& host) {
    std::wstring url = host;
    while (!url.empty() && url.back() == L'/') url.pop_back();
    url += L"/ClientEntrance";
    if (url.compare(0, 7, L"http://") != 0) url.insert(0, L"http://");
    return url;
}
