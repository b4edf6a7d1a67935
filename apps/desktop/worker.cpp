#include "worker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSaveFile>
#include <functional>
#include <utility>

#include "client/diff.h"
#include "paths/paths.h"

namespace lantern_wharf::desktop {
namespace {

// A job, posted to the runner on the worker's thread, which runs it there.
class JobEvent : public QEvent {
 public:
  static QEvent::Type kind() {
    static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
  }
  explicit JobEvent(std::function<void()> job) : QEvent(kind()), job_(std::move(job)) {}
  void run() const { job_(); }

 private:
  std::function<void()> job_;
};

class Runner : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != JobEvent::kind()) return QObject::event(event);
    static_cast<JobEvent*>(event)->run();
    return true;
  }
};

}  // namespace

Places Places::system() { return {hosts_paths::system_file(), hosts_paths::store_directory()}; }

Worker::Worker(Places places, QObject* parent)
    : QObject(parent), places_(std::move(places)), runner_(new Runner) {
  runner_->moveToThread(&thread_);
  connect(&thread_, &QThread::finished, runner_, &QObject::deleteLater);
  thread_.setObjectName(QStringLiteral("lantern-wharf worker"));
  thread_.start();
}

Worker::~Worker() {
  thread_.quit();
  thread_.wait();
}

template <typename Job>
void Worker::queue(Job job) {
  // The event loop owns a posted event, and deletes it once delivered.
  QCoreApplication::postEvent(runner_, new JobEvent(std::move(job)));
}

std::shared_ptr<const Reading> Worker::read_now() const {
  return std::make_shared<const Reading>(manager::read_reading(places_.hosts));
}

void Worker::read() {
  queue([this] { emit read_done(read_now()); });
}

void Worker::preview(manager::Sets sets, bool going_back) {
  auto shared = std::make_shared<manager::Sets>(std::move(sets));
  queue([this, shared, going_back] {
    auto change = manager::preview_file(*shared, places_.hosts);
    std::string diff;
    if (change) {
      diff = unified_diff(change->before, change->after, places_.hosts,
                          places_.hosts + " (after the change)");
    }
    emit previewed(std::make_shared<const Preview>(
        Preview{std::move(*shared), std::move(change), std::move(diff), going_back}));
  });
}

void Worker::apply(manager::Sets sets, std::string expected) {
  auto shared = std::make_shared<manager::Sets>(std::move(sets));
  auto was = std::make_shared<const std::string>(std::move(expected));
  queue([this, shared, was] {
    auto answer = std::make_shared<Answer>(Answer{Asked::Apply, *shared, std::nullopt, nullptr});
    // The sets replace the whole block: sent over a file changed since the
    // person saw it, they would undo that change unseen.
    const auto now = manager::read_file(places_.hosts);
    if (now && *now == *was) answer->response = manager::apply(*shared);
    answer->after = read_now();
    emit answered(std::move(answer));
  });
}

void Worker::ask(Asked asked) {
  queue([this, asked] {
    auto answer = std::make_shared<Answer>(Answer{asked, {}, std::nullopt, nullptr});
    switch (asked) {
      case Asked::Apply: lwk::fatal("an apply asked without its sets");
      case Asked::Flush: answer->response = manager::ask(hosts_ipc::FlushNameCache{}); break;
      case Asked::RemoveEverything:
        answer->response = manager::ask(hosts_ipc::RemoveEverything{});
        break;
    }
    answer->after = read_now();
    emit answered(std::move(answer));
  });
}

void Worker::read_history() {
  queue([this] {
    auto out =
        std::make_shared<HistoryReading>(HistoryReading{manager::history(places_.store), {}, {}});
    if (out->backups) {
      const std::shared_ptr<const Reading> now = read_now();
      const std::string none;
      const std::vector<manager::Backup>& kept = *out->backups;
      for (manager::BackupChange& did : manager::what_each_did(kept, now->sets)) {
        out->what.push_back(std::move(did.what));
      }
      for (std::size_t i = 0; i < kept.size(); ++i) {
        // The diff of the same change: from the backup to the state after it.
        const std::string& after = i == 0 ? (now->bytes ? *now->bytes : none) : kept[i - 1].bytes;
        out->diffs.push_back(unified_diff(kept[i].bytes, after, kept[i].path,
                                          i == 0 ? places_.hosts : kept[i - 1].path));
      }
    }
    emit history_read(std::move(out));
  });
}

void Worker::read_import(const QString& path, std::string name) {
  queue([this, path, name = std::move(name)] {
    const std::string file = path.toStdString();
    auto import = [&]() -> lwk::Result<manager::Import, manager::Failure> {
      auto text = manager::read_file(file);
      if (!text) return lwk::unexpected(std::move(text).error());
      auto made = manager::import(name, *text);
      if (made) return made;
      manager::Failure failure = std::move(made).error();
      failure.sentence = file + ": " + failure.sentence;
      return lwk::unexpected(std::move(failure));
    }();
    emit import_read(std::make_shared<const ImportReading>(ImportReading{path, std::move(import)}));
  });
}

void Worker::write_export(const QString& path, manager::Sets sets) {
  auto shared = std::make_shared<const manager::Sets>(std::move(sets));
  queue([this, path, shared] {
    auto text = manager::to_sets_file(*shared);
    if (!text) {
      emit exported(path, QString::fromStdString(text.error().sentence));
      return;
    }
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(text->data(), static_cast<qint64>(text->size())) ==
                             static_cast<qint64>(text->size()) &&
                         file.commit();
    emit exported(path, written ? QString() : path + QStringLiteral(": ") + file.errorString());
  });
}

}  // namespace lantern_wharf::desktop
