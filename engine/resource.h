// Identifiers of the installer's and uninstaller's resources: the wizard dialog and its controls.
#pragma once

#define IDD_WIZARD 100
#define IDD_UNINSTALL 101  // the uninstaller's confirmation and progress
#define IDS_TITLE 1001      // page heading
#define IDS_TEXT 1002       // page explanation
#define IDE_LICENCE 1003    // licence text, read-only
#define IDR_ACCEPT 1004
#define IDR_DECLINE 1005
#define IDE_FOLDER 1006     // installation folder
#define IDB_BROWSE 1007
#define IDP_PROGRESS 1008
#define IDS_STATUS 1009     // what is being done
#define IDE_INFO 1010       // closing information, read-only
#define IDB_BACK 1011
#define IDB_NEXT 1012
#define IDS_LINE 1013       // separator above the buttons
#define IDS_SUBTITLE 1014   // header band: one line under the title
#define IDS_HEADLINE 1015   // etched line under the header band
#define IDS_EMBLEM 1016     // the emblem at the right of the header band (drawn)
#define IDS_SIDE 1017       // picture down the left of the first and last pages (drawn)
#define IDS_SPACE_NEED 1018 // space the program needs
#define IDS_SPACE_FREE 1019 // space free on the folder's drive
#define IDS_FILE 1020       // file being written, under the bar
#define IDS_FOUND 1021      // folder page: the installations of the program found, and what becomes of them
#define IDC_ALLUSERS 1022   // folder page: install for every user (elevates when this run is not)
