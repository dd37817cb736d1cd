/* Identifiers of setup's resources: dialog templates by name, control ids grouped by range.
   Included by setup.rc and by the C++ sources; plain #defines only, so windres can read it. */
#ifndef SETUP_RESOURCE_IDS_H
#define SETUP_RESOURCE_IDS_H

#include <windows.h> /* first, so that SBM_SETPOS below replaces the scroll-bar message */

/* Template and icon names (string resources of type DIALOG and ICON). */
#define DLG_EXTRACT "EXTRACT"
#define DLG_INIT "INIT"
#define DLG_PREPARING "PREPARING"
#define ICON_MAIN "MAIN"

/* 1-2: standard buttons (IDOK, IDCANCEL) come from <windows.h>. */

/* 1000-1099: progress controls and texts of the driver's dialogs. Texts get ids of their own
   (not -1), so that no dialog of setup looks like a message box, whose text has id 0xFFFF. */
#define IDC_EXTRACT_TEXT 1018     /* "Extracting Temporary Setup Files..." */
#define IDC_EXTRACT_PROGRESS 1019 /* SlideBar in EXTRACT */
#define IDC_INIT_TEXT 1020        /* "Setup is initializing..." */
#define IDC_PREPARING_TEXT 1021   /* "Preparing to copy files..." */

/* 2024: the SlideBar's private message (WM_USER + 1000). The scroll-bar message of the
   same name is not used by setup. */
#undef SBM_SETPOS
#define SBM_SETPOS 2024

#endif
