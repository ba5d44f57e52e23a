// Resource numbers shared by the resource script and the code.
#pragma once

#define IDS_WEB_HOST 1002
#define IDS_OEM_ID 1003
#define IDS_TERM_TABLE 1006
#define IDS_ENTRANCE_TABLE 1008
