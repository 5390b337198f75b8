// Identifiers of every dialog, control, icon, bitmap and menu of the program, by dialog.
#pragma once

// Icons and bitmap
#define IDI_APP          1
#define IDI_SETUP        2
#define IDI_SHORTCUTS    3
#define IDI_RUN          4
#define IDI_REGISTRY     5
#define IDI_PACKING      6
#define IDI_ABOUT        7
#define IDI_SETTINGS     8
#define IDB_PANEL        10

// Menu
#define IDM_MAIN         50
#define IDM_NEW          1000
#define IDM_OPEN         1001
#define IDM_SAVE         1002
#define IDM_SAVEAS       1003
#define IDM_EXIT         1004
#define IDM_SETTINGS     1005
#define IDM_ABOUT        1006
#define IDM_HELP         1007

// Dialog templates (one per window kind)
#define IDD_MAIN         100
#define IDD_SHORTCUT     101
#define IDD_RUN          103
#define IDD_REGISTRY     104
#define IDD_PACKING      105
#define IDD_ABOUT        106
#define IDD_SETTINGS     107

// Main window (100)
#define IDS_NAME_LABEL     200
#define IDS_FOLDER_LABEL   201
#define IDS_SETUP_LABEL    202
#define IDS_LICENCE_LABEL  203
#define IDS_INFO_LABEL     204
#define IDE_NAME           300
#define IDE_FOLDER         301
#define IDE_SETUP          302
#define IDE_LICENCE        303
#define IDE_INFO           304
#define IDB_FOLDER_BROWSE  400
#define IDB_SETUP_BROWSE   401
#define IDB_LICENCE_BROWSE 402
#define IDB_INFO_BROWSE    403
#define IDB_LNK_ADD        405
#define IDB_LNK_REMOVE     406
#define IDB_RUN_ADD        407
#define IDB_RUN_REMOVE     408
#define IDB_REG_ADD        409
#define IDB_REG_REMOVE     410
#define IDB_BUILD          411
#define IDB_HELP           412
#define IDB_CLOSE          413
#define IDL_SHORTCUTS      500
#define IDL_RUN            501
#define IDL_REGISTRY       502
#define IDC_BUTTON_FRAME   800
#define IDC_MENU_LINE      801
#define IDC_LIST_ICON      30
#define IDC_PANEL_BITMAP   31

// Packing progress (105)
#define IDS_PACK_TOTAL     220
#define IDS_PACK_CURRENT   221
#define IDB_PACK_CANCEL    426
#define IDP_PACK_TOTAL     900
#define IDP_PACK_CURRENT   901
#define IDS_PACK_TOTAL_PCT 225
#define IDS_PACK_CURR_PCT  226

// Shortcut entry (101)
#define IDS_LNK_SOURCE     208
#define IDS_LNK_FOLDER     209
#define IDE_LNK_PATH       305
#define IDB_LNK_BROWSE     414
#define IDC_LNK_DESKTOP    600
#define IDC_LNK_MENU       601
#define IDB_LNK_APPLY      415
#define IDB_LNK_CLOSE      416

// Run entry (103)
#define IDS_RUN_LABEL      215
#define IDE_RUN_PATH       311
#define IDB_RUN_BROWSE     420
#define IDC_RUN_INSTALL    1100
#define IDC_RUN_UNINSTALL  1101
#define IDC_RUN_SILENT     602
#define IDB_RUN_APPLY      421
#define IDB_RUN_CLOSE      422

// Registry entry (104)
#define IDS_REG_KEY_LABEL   216
#define IDS_REG_NAME_LABEL  217
#define IDS_REG_TYPE_LABEL  218
#define IDS_REG_VALUE_LABEL 219
#define IDE_REG_KEY         312
#define IDE_REG_NAME        313
#define IDC_REG_TYPE        700
#define IDE_REG_VALUE       314
#define IDB_REG_HELP        423
#define IDB_REG_CLOSE       424
#define IDB_REG_APPLY       425
#define IDC_REG_DYNAMIC     603

// About (106)
#define IDS_ABOUT_TEXT     222
#define IDB_ABOUT_CLOSE    427

// Settings (107)
#define IDE_SET_LEVEL      315
#define IDC_SET_LANGUAGE   701
#define IDC_SET_LZMA       702
#define IDB_SET_APPLY      430
#define IDB_SET_HELP       429
#define IDB_SET_CLOSE      428
#define IDS_SET_LEVEL      223
#define IDS_SET_LANGUAGE   224
