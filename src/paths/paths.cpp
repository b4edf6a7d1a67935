#include "paths/paths.h"

namespace hosts_paths {

std::string system_file() { return "/etc/hosts"; }

std::string store_directory() { return "/var/db/lantern-wharf-kit"; }

std::string helper_log_file() { return store_directory() + "/helper.log"; }

}  // namespace hosts_paths
