#include "launcher/term_table.h"

#include "../../res/resource.h"
#include "launcher/app_instance.h"

void SelectTermLanguage(const std::wstring& name) { SelectTermLanguage(name, LoadResourceText(IDS_TERM_TABLE)); }
