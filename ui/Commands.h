#pragma once
// The command numbers of the main window: menu entries, toolbar buttons and
// accelerators. The standard file and application commands keep the numbers
// the toolkit convention gives them; the station's own commands follow from
// 32771 on.

inline constexpr int ID_FILE_NEW = 0xE100;
inline constexpr int ID_FILE_OPEN = 0xE101;
inline constexpr int ID_FILE_CLOSE = 0xE102;
inline constexpr int ID_FILE_SAVE = 0xE103;
inline constexpr int ID_FILE_SAVE_AS = 0xE104;
inline constexpr int ID_FILE_PAGE_SETUP = 0xE105;
inline constexpr int ID_FILE_PRINT_SETUP = 0xE106;
inline constexpr int ID_FILE_PRINT = 0xE107;
inline constexpr int ID_FILE_PRINT_PREVIEW = 0xE109;
inline constexpr int ID_APP_ABOUT = 0xE140;
inline constexpr int ID_APP_EXIT = 0xE141;

inline constexpr int ID_OPTIONS_SETTINGS = 32771;
inline constexpr int ID_OPTIONS_SEND_SMS = 32772;
inline constexpr int ID_OPTIONS_CHANGE_OPERATOR = 32773;
inline constexpr int ID_OPTIONS_EDIT_USER_MSG_FILE = 32774;
inline constexpr int ID_OPTIONS_EXPORT_OBJECTINFO = 32775;
inline constexpr int ID_OPTIONS_SYSTEMINFORMATION = 32776;
inline constexpr int ID_OPTIONS_UNATTENDED = 32777;
inline constexpr int ID_ALARMLIST_VIEW = 32778;
inline constexpr int ID_ALARMLIST_DELETE = 32779;
inline constexpr int ID_ALARMLIST_REFRESH = 32780;
inline constexpr int ID_ALARMLIST_FILTER_NEW = 32781;
inline constexpr int ID_ALARMLIST_FILTER_ACKNOWLEDGED = 32782;
inline constexpr int ID_ALARMLIST_FILTER_FINISHED = 32783;
inline constexpr int ID_ALARMLIST_FILTER_INFOALARMS = 32784;
inline constexpr int ID_ALARMLIST_SETSTATUS_ACKNOWLEDGED = 32785;
inline constexpr int ID_ALARMLIST_SETSTATUS_FINISHED = 32786;
inline constexpr int ID_GENERATE_P100_MSG = 32787;
