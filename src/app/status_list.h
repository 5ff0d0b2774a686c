#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire::app {

// The lines of the status list, unbounded and never trimmed. Lines stay bytes as the gateway
// made them; they become text only when a row is painted.
class StatusLog : public QAbstractListModel {
  Q_OBJECT
 public:
  using QAbstractListModel::QAbstractListModel;

  [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

  // Appends one line at the end.
  void Append(std::string_view line);
  [[nodiscard]] const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// ListBox1: the status list in a fixed-pitch font, the last line selected after each append.
// The selection follows at the next turn of the event loop: the view lays out all rows for
// it, and once per turn keeps a long list fast where once per line would not.
class StatusListBox : public QListView {
  Q_OBJECT
 public:
  explicit StatusListBox(QWidget* parent);

  // StatusLine: appends the line; the next turn selects the last line and scrolls to it.
  void StatusLine(std::string_view text);
  // Selects the last line and scrolls to it now.
  void SelectLast();
  [[nodiscard]] StatusLog& log() { return log_; }

 private:
  StatusLog log_;
  bool select_pending_ = false;
};

// Gateway bytes as text: UTF-8 when they are valid UTF-8, otherwise Latin-1, so no byte is lost.
[[nodiscard]] QString GatewayText(std::string_view bytes);

}  // namespace tidewire::app
