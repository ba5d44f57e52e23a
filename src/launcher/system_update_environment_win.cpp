#include "launcher/system_update_environment.h"

#include <windows.h>

#include "../../res/resource.h"
#include "launcher/file_download_app.h"
#include "launcher/release_keys.h"
#include "net/win_http_connection.h"
#include "util/path_util.h"
#include "util/process_util.h"
#include "vocabulary/app_instance.h"

namespace {

class CSystemUpdateEnvironment : public CUpdateEnvironment {
public:
    std::wstring ModulePath() override { return GetModulePath(); }
    std::wstring OemId() override { return LoadResourceText(IDS_OEM_ID); }
    std::wstring StartParameters() override { return FileDownloadApp().CommandString(); }
    std::vector<std::string> ReleaseKeys() override { return EmbeddedReleaseKeys(); }
    CHttpConnectionFactory* ConnectionFactory() override { return &factory_; }
    int RunProgram(uint32_t& exitCode, const std::wstring& commandLine, int showCommand, bool asAdmin,
                   const wchar_t* waitMode) override {
        return ::RunProgram(exitCode, commandLine, showCommand, asAdmin, waitMode);
    }
    int StartProcess(const std::wstring& commandLine, int showCommand, uint32_t& processId) override {
        ProcessHandle process = nullptr;
        const int error = CreateProcessSimple(commandLine, showCommand, &process);
        if (error != 0) return error;
        processId = GetProcessId(static_cast<HANDLE>(process));
        CloseHandle(static_cast<HANDLE>(process));
        return 0;
    }

private:
    CWinHttpConnectionFactory factory_;
};

}  // namespace

CUpdateEnvironment& SystemUpdateEnvironment() {
    static CSystemUpdateEnvironment environment;
    return environment;
}
