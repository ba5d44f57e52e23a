#include "launcher/command_type.h"

CommandType CommandTypeOfDo(const std::wstring& value) {
    // "restart" contains "start": the order of the tests decides such values.
    if (value.find(L"start") != std::wstring::npos) return CMD_TYPE_START;
    if (value.find(L"stop") != std::wstring::npos) return CMD_TYPE_STOP;
    if (value.find(L"update") != std::wstring::npos) return CMD_TYPE_UPDATE;
    if (value.find(L"cfg") != std::wstring::npos) return CMD_TYPE_CFG;
    return CMD_TYPE_NONE;
}
