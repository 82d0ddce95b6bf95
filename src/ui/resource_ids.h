/* Resource and control identifiers shared by the resource script and the dialog procedures. */
#pragma once

#define ZDLG_MAIN 1
#define ZDLG_OVERWRITE 2
#define ZICON_PROGRAM 1
#define ZMANIFEST_PROGRAM 1  /* CREATEPROCESS_MANIFEST_RESOURCE_ID */

/* Main dialog */
#define ZID_FOLDER 101
#define ZID_STATUS 102
#define ZID_HELP 103
#define ZID_CANCEL 104
#define ZID_PROMPT 105
#define ZID_OVERWRITE 106
#define ZID_FOLDER_LABEL 107
#define ZID_EXTRACT 108

/* Overwrite prompt */
#define ZID_QUESTION 107
#define ZID_YES_TO_ALL 108
#define ZID_YES 109
#define ZID_NO 110

/* The predefined window classes as template ordinals (a class given by name would be stored as text). */
#define ZCLASS_BUTTON 0x0080
#define ZCLASS_EDIT 0x0081
#define ZCLASS_STATIC 0x0082
