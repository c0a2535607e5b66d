// Resource numbers of the program module, and its resource table.
#pragma once

#include "platform/win32/resources.h"

#define IDD_LAUNCHER 101
#define IDB_LAUNCHER 104
#define IDD_SETTINGS 105
#define IDI_PROGRAM 107
#define IDC_SETTINGS 1000
#define IDC_START 1001
#define IDC_EXIT 1002
#define IDC_VIDEOMODE 1004

const KResourceModule& KelvandorResources();
