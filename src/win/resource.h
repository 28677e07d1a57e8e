// resource.h - the Windows window's resource and control identifiers.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_PACKER_DIALOG 102
#define IDD_PROGRESS 103
#define IDR_MAINFRAME 128
#define IDI_DIRECTORY 129
#define IDI_FILE 130
#define IDI_DELETE 131

#define IDC_TARGET_LIST 1000
#define IDC_SAME_PLACE 1001
#define IDC_OTHER_PLACE 1002
#define IDC_OUTPUT_DIR 1003
#define IDC_BROWSE 1004
#define IDC_COMPRESS 1005
#define IDC_DELETE 1006
#define IDC_ABOUT_TEXT 1007
#define IDC_TRIM_EXT 1008
#define IDC_PROGRESS_TEXT 1010
#define IDC_PROGRESS_BAR 1011

#define IDM_ABOUTBOX 0x0010

#define IDS_BROWSE_TITLE 200
