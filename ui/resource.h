// Resource identifiers of VmlCmd.dll. The string numbers are the library's result codes and
// texts as GetErrorText and the dialogs load them: never renumber.
#pragma once

#define IDS_VIDEO_PARAMETERS 1
#define IDS_MASK_SETTINGS 2
#define IDS_MOTION_SETTINGS 3
#define IDS_OSD_SETTINGS_1 4
#define IDS_OSD_SETTINGS_2 5
#define IDS_OSD_SETTINGS_3 6
#define IDS_OSD_SETTINGS_4 7
#define IDS_OSD_SETTINGS_5 8
#define IDS_SUCCESS 9
#define IDS_NOT_IMPLEMENTED 10
#define IDS_WRONG_USER_NAME 11
#define IDS_WRONG_PASSWORD 12
#define IDS_INVALID_VIDEO_TICKET 13
#define IDS_WRONG_VIDEO_PORT 14
#define IDS_INVALID_ARGUMENT 15
#define IDS_UNKNOWN_NAPI_ERROR 16
#define IDS_INVALID_NAPI_COMMAND 17
#define IDS_NAPI_VERSION_CONFLICT 18
