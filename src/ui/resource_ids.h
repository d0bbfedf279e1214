// Ids of the dialog templates, pictures and controls in res/lantern.rc. Also
// included by the resource script, so only preprocessor lines here.
#pragma once

#define IDI_LANTERN_APP 5
#define IDD_LANTERN_ABOUT 100
#define IDD_LANTERN_NOTICE 102
#define IDB_LANTERN_BANNER 130
#define IDD_LANTERN_SPLASH 131
#define IDB_LANTERN_SPLASH 133
#define IDD_LANTERN_FOLDER_PROMPT 146
#define IDD_LANTERN_ADDRESS 147

#define IDC_NOTICE_MESSAGE 1000
#define IDC_NOTICE_LINK 1001
#define IDC_NOTICE_HEADING 1003
#define IDC_ABOUT_VERSION 1001
#define IDC_ABOUT_COPYRIGHT 1002
#define IDC_PROMPT_FOLDER 1005
#define IDC_ADDRESS_TEXT 1010
#define IDC_ADDRESS_COPY 1011

// The About entry the notice dialog adds to its system menu.
#define IDM_LANTERN_ABOUT 0x0010
