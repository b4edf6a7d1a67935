// The help texts of the command and of each of its commands, each printed
// as it stands by --help.
#ifndef LWK_TOOLS_LANTERN_WHARF_HELP_H_
#define LWK_TOOLS_LANTERN_WHARF_HELP_H_

namespace lantern_wharf::command::help {

extern const char* const TOOL;
extern const char* const APPLY;
extern const char* const FLUSH;
extern const char* const REMOVE_EVERYTHING;
extern const char* const SEND;
extern const char* const CHECK;
extern const char* const PREVIEW;
extern const char* const ENCODE;
extern const char* const DECODE;
extern const char* const LIST;
extern const char* const SHOW;
extern const char* const ENABLE;
extern const char* const DISABLE;
extern const char* const ADD;
extern const char* const REMOVE;
extern const char* const RENAME;
extern const char* const IMPORT;
extern const char* const EXPORT;
extern const char* const FIND;
extern const char* const HISTORY;
extern const char* const UNDO;
extern const char* const REDO;

}  // namespace lantern_wharf::command::help

#endif  // LWK_TOOLS_LANTERN_WHARF_HELP_H_
