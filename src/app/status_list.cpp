#include "app/status_list.h"

#include <QFontDatabase>
#include <QStringDecoder>

namespace tidewire::app {

QString GatewayText(std::string_view bytes) {
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

int StatusLog::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant StatusLog::data(const QModelIndex& index, int role) const {
  // The tooltip holds a line the list's edge cuts.
  if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() ||
      index.row() >= rowCount()) {
    return {};
  }
  return GatewayText(lines_[static_cast<std::size_t>(index.row())]);
}

void StatusLog::Append(std::string_view line) {
  const int row = rowCount();
  beginInsertRows(QModelIndex(), row, row);
  lines_.emplace_back(line);
  endInsertRows();
}

StatusListBox::StatusListBox(QWidget* parent) : QListView(parent), log_(this) {
  setObjectName("ListBox1");
  setModel(&log_);
  // Every row the same height: the view then never measures all rows of a long list.
  setUniformItemSizes(true);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void StatusListBox::StatusLine(std::string_view text) {
  log_.Append(text);
  if (select_pending_) return;
  select_pending_ = true;
  QMetaObject::invokeMethod(this, &StatusListBox::SelectLast, Qt::QueuedConnection);
}

void StatusListBox::SelectLast() {
  select_pending_ = false;
  if (log_.rowCount() == 0) return;
  const QModelIndex last = log_.index(log_.rowCount() - 1);
  setCurrentIndex(last);
  scrollTo(last, QAbstractItemView::PositionAtBottom);
}

}  // namespace tidewire::app
