// What the worker hands back to the window: plain values, made on the
// worker's thread and read, never changed, on the thread that paints. Each
// travels in a shared pointer to const, so that a queued signal copies a
// pointer and not a file.
#ifndef LWK_APPS_DESKTOP_READINGS_H_
#define LWK_APPS_DESKTOP_READINGS_H_

#include <QMetaType>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "client/manager.h"
#include "ipc/wire.h"

namespace lantern_wharf::desktop {

// Where the window reads and what it asks about: the hosts file and the
// helper's store, the system's own unless a benchmark or test says otherwise.
struct Places {
  std::string hosts;
  std::string store;
  static Places system();
};

// The file as one read found it.
using Reading = manager::Reading;

// What an apply would do, shown before it is asked for.
struct Preview {
  manager::Sets sets;  // the sets it would send
  lwk::Result<manager::Change, manager::Failure> change;
  std::string diff;  // unified diff of the change
  // The sets of a backup gone back to: once applied, they take the place of
  // the edits not yet applied, and the window holds the file as it is.
  bool going_back = false;
};

// What the helper is asked.
enum class Asked { Apply, Flush, RemoveEverything };

// The helper's answer, and the file as read after it.
struct Answer {
  Asked asked;
  manager::Sets sent;  // the sets of an apply
  // Nothing when nothing was sent: the file was no longer as the apply's
  // diff showed it.
  std::optional<lwk::Result<hosts_ipc::Response, manager::Failure>> response;
  std::shared_ptr<const Reading> after;
};

// The helper's backups, each with what its change did.
struct HistoryReading {
  lwk::Result<std::vector<manager::Backup>, manager::Failure> backups;
  std::vector<std::string> what;   // for each backup: what the change after it did
  std::vector<std::string> diffs;  // for each backup: the diff from it to the state after it
};

// A file made a set, to be imported.
struct ImportReading {
  QString path;
  lwk::Result<manager::Import, manager::Failure> import;
};

}  // namespace lantern_wharf::desktop

Q_DECLARE_METATYPE(std::shared_ptr<const lantern_wharf::desktop::Reading>)
Q_DECLARE_METATYPE(std::shared_ptr<const lantern_wharf::desktop::Preview>)
Q_DECLARE_METATYPE(std::shared_ptr<const lantern_wharf::desktop::Answer>)
Q_DECLARE_METATYPE(std::shared_ptr<const lantern_wharf::desktop::HistoryReading>)
Q_DECLARE_METATYPE(std::shared_ptr<const lantern_wharf::desktop::ImportReading>)

#endif  // LWK_APPS_DESKTOP_READINGS_H_
