#include "vocabulary/message_table.h"

#include <atomic>

#include "diag/trace_log.h"

namespace {

const wchar_t* const kLanguageNames[] = {L"en_US", L"zh_CN"};
const int kLanguageCount = 2;
// A further language would fill the third text of each message.
const int kTextColumns = 3;

const wchar_t* const kMessages[kMessageCount][kTextColumns] = {
    {L"main components",
     L"基础组件", L""},
    {L"Preparing %s environment",
     L"准备%s环境", L""},
    {L"There is an unknown error! \n\nYou can re-download and install and try again, if you still have problems, please contact us.",
     L"遇到未知错误！\n\n您可以重新下载安装后再重试，如果仍有问题请联系我们。", L""},
    {L"main components",
     L"基础组件", L""},
    {L"Updating %s, please wait...",
     L"正在更新“%s”，请稍候...", L""},
    {L"Warning",
     L"警告", L""},
    {L"Error",
     L"错误", L""},
    {L"Close this window will cause the program not work correctly. \n\nYou sure you want to close?",
     L"关闭此窗口，将造成程序功能无法正常进行。\n\n您确认要关闭吗？", L""},
    {L"Starting the program...",
     L"正在启动程序...", L""},
    {L"Invalid parameters!\n\nYou can re-download and install and try again, if you still have problems, please contact us.",
     L"无效的参数！\n\n您可以重新下载安装后再重试。如果仍有问题请联系我们。", L""},
    {L"Your software version has stopped using, please download and install the latest version.",
     L"您的软件版本已停止使用，请下载并安装最新版本。", L""},
    {L"Invalid information!\n\nYou can re-download and install and try again, if you still have problems, please contact us.",
     L"无效的信息！\n\n您可以重新下载并安装后再重试，如果仍有问题请联系我们。", L""},
    {L"Download failed, please check your network is working!",
     L"文件下载失败，请检查您的网络是否正常！", L""},
    {L"Upgrade server exception, you can retry again. \n\nIf the problem persists, please contact us.",
     L"升级服务器异常，您可再次重试。\n\n如果仍有问题请联系我们。", L""},
    {L"The local operation is abnormal!\n\nYou can re-download and install and try again, if you still have problems, please contact us.",
     L"本地处理异常！\n\n您可以重新下载安装后再重试，如果仍有问题请联系我们。", L""},
    {L"Failed to start the latest upgrade program!\n\nYou can re-download and install and try again, if you still have problems, please contact us.",
     L"启动最新升级程序失败！\n\n您可以重新下载安装后再重试，如果仍有问题请联系我们。", L""},
    {L"Local upgrade fails!",
     L"非常抱歉，本地更新失败！\n\n您如果重试后仍然遇到此问题，建议您重启电脑后再试一次，如果问题仍没有解决请联系我们。", L""},
    {L"Failed to start the program!",
     L"启动程序失败！", L""},
    {L"Failed to update the local file!",
     L"非常抱歉，更新本地文件失败！\n\n您如果重试后仍然遇到此问题，建议您重启电脑后再试一次，如果问题仍没有解决请联系我们。", L""},
    {L"Querying %s Information...",
     L"正在查询%s信息...", L""},
    {L"OK",
     L"确定", L""},
    {L"Your %s free space is less than 100M, to ensure that the application would proceed smoothly, it is recommended to free up more space.",
     L"您的%s剩余空间不足100M，为确保程序能顺利进行，建议释放更多空间。", L""},
    {L"The %s does not exist or has been ended!",
     L"%s不存在或已经结束!", L""},
};

// Written on the main thread before the readers start; atomic so a late
// change stays well defined for them.
std::atomic<int> g_language{0};

}  // namespace

void SelectMessageLanguage(const std::wstring& name) {
    g_language = 0;
    for (int index = 0; index < kLanguageCount; ++index) {
        if (name == kLanguageNames[index]) {
            g_language = index;
            return;
        }
    }
    DownLogErr("Err language type: %ws!", name.c_str());
}

const wchar_t* GetMessageText(int number) {
    if (number < 0 || number >= kMessageCount) number = kUnknownErrorMessage;
    return kMessages[number][g_language];
}

std::wstring GetMessageTextWith(int number, const std::wstring& argument) {
    std::wstring text = GetMessageText(number);
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, argument);
    return text;
}
