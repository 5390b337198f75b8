// Numbers of the installer's and uninstaller's texts in the language data (lang.txt).
#pragma once

enum LangId {
  L_CAPTION = 1,     // installer window and message caption; %s program name
  L_BACK,
  L_NEXT,
  L_CANCEL,
  L_INSTALL,
  L_FINISH,
  L_WELCOME_TITLE,   // %s program name
  L_WELCOME_TEXT,    // %s program name
  L_LICENCE_TITLE,
  L_LICENCE_TEXT,
  L_ACCEPT,
  L_DECLINE,
  L_FOLDER_TITLE,
  L_FOLDER_TEXT,     // %s program name
  L_BROWSE,
  L_BROWSE_TITLE,
  L_PROGRESS_TITLE,
  L_PROGRESS_TEXT,   // %s program name
  L_CHECKING,
  L_UNPACKING,
  L_SHORTCUTS,
  L_REGISTRY,
  L_RUNNING,         // %s file
  L_DONE_TITLE,
  L_DONE_TEXT,       // %s program name
  L_INFO_BROWSER,
  L_CANCEL_ASK,
  L_RUN_ASK,         // %s file
  L_BAD_FOLDER,
  L_PROBLEMS,        // %s list of problems
  L_DAMAGED,         // %s reason
  L_WHY_TRUNCATED,
  L_WHY_CHECKSUM,
  L_WHY_PATH,
  L_WHY_STRUCTURE,
  L_WHY_NODATA,
  L_WRITE_FAILED,    // %s folder
  L_BAD_ARGS,        // %s argument
  L_BAD_REG,         // %s entry number, %s key and name, %s value
  L_BAD_SHORTCUT,    // %s target
  L_BAD_RUN,         // %s file
  L_NO_UNINST,
  L_UN_CAPTION,      // %s program name
  L_UN_ASK,          // %s program name
  L_UN_DONE,         // %s program name
  L_UN_LEFT,         // %s program name, %s list
  L_UN_BADLOG,
  L_CANCELLED,
  L_BAD_ENTRY,       // %s section and number, %s path
  L_NOT_REMOVED,     // %s item
  L_LICENCE_SUB,     // %s program name
  L_FOLDER_SUB,      // %s program name
  L_SPACE_NEED,      // %s size
  L_SPACE_FREE,      // %s size
  L_UNKNOWN,
  L_NO_SPACE,        // %s drive, %s size needed, %s size free
  L_NOT_WRITABLE,    // %s folder
  L_CANCELLING,
  L_UN_TITLE,        // %s program name
  L_UN_SUB,          // %s program name
  L_UN_REMOVE,
  L_UN_REMOVING,
  L_CLOSE,
  L_UN_DONE_TITLE,
  L_FOUND_HERE,       // folder page: the installation being upgraded is in the folder given
  L_FOUND_ELSEWHERE,  // %s folder of the installation that stays as it is
  L_FOUND_GONE,       // %s folder the registration names
  L_FOUND_DAMAGED,    // %s folder whose uninstall log cannot be read
  L_FOUND_FOREIGN,    // %s folder of another program registered under the name
  L_FOUND_USER,       // %s folder of the installation for the current user
  L_FOUND_MACHINE,    // %s folder of the installation for all users
  L_ALL_USERS,
  L_IN_USE,          // %s file
  L_IN_USE_BY,       // %s file, %s programs
  L_IN_USE_FAILED,   // %s file
  L_UN_AT_RESTART,   // %s item
  L_HELP,
  L_UN_HELP,
  L_COUNT
};
