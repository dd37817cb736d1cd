/* Identifiers of setup's resources: dialog templates by name, control ids grouped by range.
   Included by setup.rc and by the C++ sources; plain #defines only, so windres can read it. */
#ifndef SETUP_RESOURCE_IDS_H
#define SETUP_RESOURCE_IDS_H

#include <windows.h> /* first, so that SBM_SETPOS below replaces the scroll-bar message */

/* Template and icon names (string resources of type DIALOG and ICON). */
#define DLG_EXTRACT "EXTRACT"
#define DLG_INIT "INIT"
#define DLG_PREPARING "PREPARING"
#define DLG_PATHS "PATHS"
#define DLG_CALCDISKSPACE "CALCDISKSPACE"
#define DLG_GETDISK "GETDISK"
#define DLG_MISSFILES "MISSFILES"
#define DLG_FILECOPY "FILECOPY"
#define DLG_SETUPCOMPLETE "SETUPCOMPLETE"
#define ICON_MAIN "MAIN"

/* 1-2: standard buttons (IDOK, IDCANCEL) come from <windows.h>. */

/* 1000-1099: progress controls and texts of the driver's dialogs. Texts get ids of their own
   (not -1), so that no dialog of setup looks like a message box, whose text has id 0xFFFF. */
#define IDC_EXTRACT_TEXT 1018     /* "Extracting Temporary Setup Files..." */
#define IDC_EXTRACT_PROGRESS 1019 /* SlideBar in EXTRACT */
#define IDC_INIT_TEXT 1020        /* "Setup is initializing..." */
#define IDC_PREPARING_TEXT 1021   /* "Preparing to copy files..." */

/* PATHS: row k has a label and an edit control. */
#define IDC_PATH_EDIT_0 1000
#define IDC_PATH_LABEL_0 1001
#define IDC_PATH_EDIT_1 1002
#define IDC_PATH_EDIT_2 1003
#define IDC_PATH_LABEL_1 1004
#define IDC_PATH_EDIT_3 1005
#define IDC_PATH_EDIT_4 1006
#define IDC_PATH_EDIT_5 1007
#define IDC_PATH_LABEL_2 1008
#define IDC_PATH_LABEL_3 1009
#define IDC_PATH_LABEL_4 1010
#define IDC_PATH_LABEL_5 1011

/* GETDISK, FILECOPY, MISSFILES. */
#define IDC_DISK_TITLE 1015       /* "<title> Disk <n>" */
#define IDC_COPY_STATUS 1016      /* the destination path being installed */
#define IDC_COPY_FILE_BAR 1019    /* SlideBar: the member being extracted */
#define IDC_COPY_TOTAL_BAR 1020   /* SlideBar: the whole copy */
#define IDC_MISSING_LIST 1024     /* sorted: the files not installed */
#define IDC_CONTACT_LIST 1027     /* contact lines and the log's place */

/* 1030-1039: fixed texts of those dialogs (ids of their own, see above). */
#define IDC_CALCDISKSPACE_TEXT 1030
#define IDC_DISK_PROMPT_TEXT 1031
#define IDC_COPY_LABEL_TEXT 1032
#define IDC_MISSING_GROUP 1033
#define IDC_MISSING_WARNING 1034
#define IDC_RESTART_TEXT 1035

/* 2024: the SlideBar's private message (WM_USER + 1000). The scroll-bar message of the
   same name is not used by setup. */
#undef SBM_SETPOS
#define SBM_SETPOS 2024

#endif
