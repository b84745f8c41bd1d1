// Resource and control identifiers of the settings dialog, shared by ConfigureDialog.rc and
// the code. They stay clear of the conduit's own (string 1000, dialog and controls 9000-9004).
#pragma once

#define IDD_CONFIGURE 2002

// Bitmaps of the picture buttons.
#define IDB_ACTION_SYNC 6000
#define IDB_ACTION_NOTHING 6001
#define IDB_ACTION_DESKTOP 9001
#define IDB_ACTION_HANDHELD 9002
#define IDB_LOGO 9010

// Controls.
#define IDC_ACTION_FRAME 403
#define IDC_PICTURE_SYNC 9013
#define IDC_PICTURE_DESKTOP 9014
#define IDC_PICTURE_HANDHELD 9015
#define IDC_PICTURE_NOTHING 9016
#define IDC_ACTION_SYNC 2007
#define IDC_ACTION_DESKTOP 9008
#define IDC_ACTION_HANDHELD 9009
#define IDC_ACTION_NOTHING 2008
#define IDC_SET_DEFAULT 9010
#define IDC_FREQUENCY_EVERY 9022
#define IDC_FREQUENCY_DAILY 9023
#define IDC_FREQUENCY_WEEKLY 9025
#define IDC_FREQUENCY_MONTHLY 9026
#define IDC_ARCHIVE 9005
#define IDC_WEB_LINK 9006
#define IDC_DESKTOP_APP 9019
#define IDC_PICTURE_LOGO 9020
