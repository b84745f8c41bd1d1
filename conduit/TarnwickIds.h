// Resource and control identifiers of the conduit, shared by Tarnwick.rc and the code.
#pragma once

#define IDS_CONDUIT_NAME 1000
#define IDS_VERSION_LINE 1001

#define IDD_PROGRESS 9000
#define IDC_PROGRESS_CANCEL 9000
#define IDC_PROGRESS_BAR 9001
#define IDC_PROGRESS_FILE 9002
#define IDC_PROGRESS_COUNT 9003
#define IDC_PROGRESS_CARD 9004

// Window messages between the worker and the progress window.
#define WM_PROGRESS_REFRESH (0x0400 + 201)  // 1225: transfer the texts, move the bar
#define WM_PROGRESS_CLOSE (0x0400 + 202)    // 1226: end the dialog
