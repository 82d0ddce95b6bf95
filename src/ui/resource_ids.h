/* Resource and control identifiers shared by the resource script and the dialog procedures. */
#pragma once

#define IDD_MAIN 1
#define IDD_OVERWRITE 2
#define IDI_PROGRAM 1

/* Main dialog */
#define IDC_FOLDER 101
#define IDC_STATUS 102
#define IDC_HELP 103
#define IDC_CANCEL 104
#define IDC_PROMPT 105
#define IDC_OVERWRITE 106
#define IDC_FOLDER_LABEL 107
#define IDC_EXTRACT 108

/* Overwrite prompt */
#define IDC_QUESTION 107
#define IDC_YES_TO_ALL 108
#define IDC_YES 109
#define IDC_NO 110
