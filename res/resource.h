// Resource identifiers shared by the resource script and the code.
#pragma once

// Dialog template, icon groups and string of the main window.
#define IDD_MAINDIALOG 101
#define IDI_MAINWINDOW 102
#define IDI_WEBLINK 103
#define IDS_WEB_ADDRESS 104
// The progress window of a long extraction or print.
#define IDD_PROGRESS 105

// Controls of the main dialog (IDCANCEL, the Exit button, comes from winuser.h).
#define IDC_LANGUAGE 1001
#define IDC_CHOOSEFILE 1002
#define IDC_PRINTERSLIST 1003
#define IDC_PRINT 1004
#define IDC_FILENAME 1005
#define IDC_OPENLOGFILE 1007
#define IDC_SHOWALLPRINTERS 1008
#define IDC_PRINTERHINT 1009
#define IDC_LANGUAGELABEL 1010
#define IDC_WEBLINK 1011
// The current job's details under the file label, added after the controls above.
#define IDC_JOBDETAILS 1012
// Page 1 of the current job, when it is an EMF job, beside the details.
#define IDC_PAGETHUMBNAIL 1013

// Controls of the progress window (its Cancel button is IDCANCEL).
#define IDC_PROGRESSTEXT 1101
#define IDC_PROGRESSBAR 1102
#define IDC_PROGRESSAMOUNT 1103
