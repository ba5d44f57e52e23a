// Numbers of the button tests' host dialog.
#pragma once

#define IDD_BUTTON_HOST 300
#define IDC_TEXT_BUTTON 301
#define IDC_IMAGE_BUTTON 302
#define IDC_DEFAULT_BUTTON 303
