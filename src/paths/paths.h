// The service's fixed places on disk. Each call returns a new path and
// touches nothing.
#ifndef LWK_PATHS_PATHS_H_
#define LWK_PATHS_PATHS_H_

#include <string>

namespace hosts_paths {

// "/etc/hosts", the file the service edits.
std::string system_file();
// "/var/db/lantern-wharf-kit", where the snapshot, the backups and the log live.
std::string store_directory();
// "helper.log" in the store directory.
std::string helper_log_file();

// The name of the log, beside helper.log, that holds the refusals of callers
// the helper does not serve unasked, apart from the record of those it does.
inline constexpr const char OTHERS_LOG_NAME[] = "others.log";

}  // namespace hosts_paths

#endif  // LWK_PATHS_PATHS_H_
