// Resource and control ids shared by the .rc file, both dialog backends and the tests.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_MAIN 102

#define IDC_BROWSE_FIRST 1000
#define IDC_FIRST_PATH 1001
#define IDC_BROWSE_SECOND 1002
#define IDC_SECOND_PATH 1003
#define IDC_COMPARE 1005
#define IDC_SAVE_RESULT 1006
#define IDC_RESULT 1007
#define IDC_SPACE_SEPARATOR 1009
#define IDC_SHORT_NAMES 1015

// Labels have no id of their own (the resource compiler's "static" id).
#define IDC_LABEL (-1)
