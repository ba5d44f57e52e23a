#include "vocabulary/term_table.h"

#include "../../res/resource.h"
#include "vocabulary/app_instance.h"

void SelectTermLanguage(const std::wstring& name) { SelectTermLanguage(name, LoadResourceText(IDS_TERM_TABLE)); }
