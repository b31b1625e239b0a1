/* Ids of the patch program's resources: its resource script and the window
   code both include this file. */
#ifndef QELT_WINDOW_RESOURCES_H
#define QELT_WINDOW_RESOURCES_H

#define IDI_PATCH_ICON 128
#define IDD_PATCH_DIALOG 129

/* The status line shares the id of the labels (-1): it is the first
   control with that id in the template, so looking up -1 finds it. */
#define IDC_STATUS_LINE -1
#define IDC_PROGRESS 1000
#define IDC_NOTES 1001
#define IDC_BROWSE 1002

#endif
