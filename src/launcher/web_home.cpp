#include "launcher/web_home.h"

#include "diag/trace_log.h"
#include "util/code_page.h"

std::wstring WebHomeUrlOf(const std::wstring& host) {
    std::wstring url = host;
    while (!url.empty() && url.back() == L'/') url.pop_back();
    url += L"/ClientEntrance";
    if (url.compare(0, 7, L"http://") != 0) url.insert(0, L"http://");
    return url;
}

int OpenWebPageWith(CShellOpener& shell, const std::wstring& target) {
    AgentLogInf("goto WebHomePage: %s!", WideToAnsi(target).c_str());
    long long result = shell.Open(target, L"");
    if (result <= 32) result = shell.Open(L"iexplore.exe", target);
    if (result > 32) return 0;
    AgentLogInf("goto WebHomePage failed! (err:%d)", static_cast<int>(result));
    return -1;
}
