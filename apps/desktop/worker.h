// The window's one thread for work that can wait: reading files (the hosts
// file may hold a block of 1 MiB) and asking the helper, which may wait on
// polkit while it asks the person for a password. Jobs run one after another
// in the order they were asked for, so that an apply and the reading after
// it are never overtaken; each result comes back as a signal, received on the
// thread that paints.
#ifndef LWK_APPS_DESKTOP_WORKER_H_
#define LWK_APPS_DESKTOP_WORKER_H_

#include <QObject>
#include <QString>
#include <QThread>
#include <memory>
#include <string>

#include "client/manager.h"
#include "readings.h"

namespace lantern_wharf::desktop {

class Worker : public QObject {
  Q_OBJECT

 public:
  explicit Worker(Places places, QObject* parent = nullptr);
  // Waits for the job under way, which may be a request to the helper (at
  // most a minute), and drops those not yet started.
  ~Worker() override;

  const Places& places() const { return places_; }

  // Reads the hosts file and its sets: read_done().
  void read();
  // What an apply of `sets` would write: previewed(), marked `going_back`.
  void preview(manager::Sets sets, bool going_back);
  // Asks the helper to apply `sets`, if the file's bytes are still
  // `expected`; reads the file after: answered().
  void apply(manager::Sets sets, std::string expected);
  // Asks the helper to flush the name caches or remove everything; reads
  // the file after: answered().
  void ask(Asked asked);
  // Reads the helper's backups: history_read().
  void read_history();
  // Reads the file at `path` as a set named `name`: import_read().
  void read_import(const QString& path, std::string name);
  // Writes `sets` to the file at `path` as a sets file: exported(), with why
  // not when it could not be written. Sets no client could read back are
  // never written.
  void write_export(const QString& path, manager::Sets sets);

 signals:
  void read_done(std::shared_ptr<const Reading> reading);
  void previewed(std::shared_ptr<const Preview> preview);
  void answered(std::shared_ptr<const Answer> answer);
  void history_read(std::shared_ptr<const HistoryReading> history);
  void import_read(std::shared_ptr<const ImportReading> import);
  void exported(QString path, QString failure);

 private:
  template <typename Job>
  void queue(Job job);
  std::shared_ptr<const Reading> read_now() const;

  Places places_;
  QThread thread_;
  QObject* runner_;  // lives on thread_, where the jobs run
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_WORKER_H_
