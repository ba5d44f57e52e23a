// Resource numbers shared by the resource script and the code.
#pragma once

#define IDS_WEB_HOST 1002
#define IDS_OEM_ID 1003
#define IDS_TERM_TABLE 1006
#define IDS_ENTRANCE_TABLE 1008

// The progress dialog and its controls.
#define IDD_MAIN 129
#define IDC_PROGRESS 1000
#define IDC_STATUS 1001
#define IDC_CLOSE 1004

// The product icon; the close button under and away from the mouse.
#define IDI_PRODUCT 128
#define IDI_CLOSE_IN 210
#define IDI_CLOSE_OUT 211
