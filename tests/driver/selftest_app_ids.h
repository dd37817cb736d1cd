// Resource ids of the driver's self-test program.
#pragma once
#define IDD_DRIVERTEST 100
#define IDC_EDIT 101
#define IDC_LABEL 102
#define IDC_DISABLED 103
#define IDC_CHECK 104
#define IDC_LIST 105
