// The commands, one group to a file, and what the groups share. Each command
// takes its parsed arguments and gives its exit status, having shown its
// result or said why there is none.
#ifndef LWK_TOOLS_LANTERN_WHARF_COMMANDS_H_
#define LWK_TOOLS_LANTERN_WHARF_COMMANDS_H_

#include <optional>
#include <string>

#include "arguments.h"
#include "base/result.h"
#include "client/manager.h"
#include "ipc/wire.h"
#include "output.h"

namespace lantern_wharf::command {

// Asking the helper (helper_commands.cpp).
int run_apply(const Arguments& args);
int run_flush(const Arguments& args);
int run_remove_everything(const Arguments& args);
int run_send(const Arguments& args);

// Sets files and request octets, without the helper (file_commands.cpp).
int run_check(const Arguments& args);
int run_preview(const Arguments& args);
int run_encode(const Arguments& args);
int run_decode(const Arguments& args);

// The sets in /etc/hosts (set_commands.cpp).
int run_list(const Arguments& args);
int run_show(const Arguments& args);
int run_enable(const Arguments& args);
int run_disable(const Arguments& args);
int run_add(const Arguments& args);
int run_remove(const Arguments& args);
int run_rename(const Arguments& args);
int run_import(const Arguments& args);
int run_export(const Arguments& args);
int run_find(const Arguments& args);

// The helper's backups (history_commands.cpp).
int run_history(const Arguments& args);
int run_undo(const Arguments& args);
int run_redo(const Arguments& args);

// Sends `request` to the helper and shows the response; gives the exit
// status. A password polkit wants is asked for in the terminal.
int request_and_report(const hosts_ipc::Request& request, NamedSets named = nullptr);

// Asks the helper to apply `sets` (manager::apply()) and shows the response
// as request_and_report() does; the issues are about the sets by name.
int apply_and_report(const manager::Sets& sets);

// The sets of the sets file at `path`; nothing, after saying why ("PATH:
// ..."), when it cannot be read or does not parse (a usage error).
std::optional<manager::Sets> load_sets(const std::string& path);

// The file as it is now, its sets left empty; on failure, says why and
// gives the exit status.
lwk::Result<manager::Current, int> current_file();

// The file as it is now and its sets; on failure, says why ("...; nothing
// was changed" when its block does not read back) and gives the exit status.
lwk::Result<manager::Current, int> current_sets();

// The file as it is now and its sets as the block holds them, for showing
// them, whatever the helper's check would say of them; on failure, says why
// and gives the exit status.
lwk::Result<manager::Current, int> current_block();

// A change refused before anything is sent: "lantern-wharf: WHY; nothing
// was sent", exit status 2.
int refuse_change(const std::string& why);

// Sends `changed` in place of the sets of `current`, or, with --diff, prints
// what it would change and sends nothing. A switched-on line that the file
// would leave out is kept switched off instead, and named.
int send_change(const manager::Current& current, manager::Sets changed, const Arguments& args);

// Notes each of `notes`, which are about the sets `named`.
void note_all(const std::vector<hosts_ipc::Issue>& notes, NamedSets named);

}  // namespace lantern_wharf::command

#endif  // LWK_TOOLS_LANTERN_WHARF_COMMANDS_H_
