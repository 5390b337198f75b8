// Identifiers of the installer's and uninstaller's resources: the wizard dialog and its controls.
#pragma once

#define IDD_WIZARD 100
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
