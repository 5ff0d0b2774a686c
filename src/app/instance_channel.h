#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <filesystem>

namespace tidewire::app {

// The name of the running window's local socket for a working directory.
[[nodiscard]] QString InstanceServerName(const std::filesystem::path& work_dir);

// Tells the window running in `work_dir` to come to the front. False when none answers.
bool CallRunningInstance(const std::filesystem::path& work_dir);

// The running window's ear: each later start that connects asks it to come to the front.
class InstanceServer : public QObject {
  Q_OBJECT
 public:
  InstanceServer(const std::filesystem::path& work_dir, QObject* parent);

 signals:
  void ShowRequested();

 private:
  QLocalServer server_;
};

}  // namespace tidewire::app
