#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/operator.h"
#include "base/shared_types.h"

namespace tidewire::config {

// One row of the user settings dialog: the text the row shows and the slot's record.
struct UserSlot {
  std::string RowText;  // the call as typed; blank for a free slot
  UserRecord Record;
};

// The user settings dialog's own copy of USER.DAT: 100 slots, numbered from 1. It never
// touches the gateway's UserDatabase, which is loaded only at program start.
class UserSlots {
 public:
  static constexpr int kSlotCount = static_cast<int>(UserDatabase::kMaxUsers);

  UserSlots();

  // Slot k, 1 <= k <= kSlotCount.
  [[nodiscard]] const UserSlot& operator[](int k) const;
  // The number of records read when the dialog was made.
  [[nodiscard]] int LoadedCount() const { return loaded_count_; }
  // The first slot whose row is blank; 0 when all are occupied.
  [[nodiscard]] int FirstFreeSlot() const;
  // The first slot whose call contains `text` (also one saved since the file was read); 0 when
  // none does or `text` is empty.
  [[nodiscard]] int FindCall(std::string_view text) const;
  // The row shows the call as typed; the slot keeps the fields after TrimTrailing.
  void Store(int k, const UserRecord& entries);
  void Clear(int k);
  // The records of the occupied slots, in slot order.
  [[nodiscard]] std::vector<UserRecord> OccupiedRecords() const;

 private:
  friend UserSlots ReadUserSlots(const std::filesystem::path& work_dir, Operator& op);

  UserSlot& At(int k);
  [[nodiscard]] static std::size_t Index(int k);

  std::vector<UserSlot> slots_;
  int loaded_count_ = 0;
};

// The dialog's creation: the records of USER.DAT in slots 1, 2, ...; all free without a file.
// A file announcing more than 100 records fills the 100 slots and says in a box that the
// rest is not shown and is dropped by the next save.
[[nodiscard]] UserSlots ReadUserSlots(const std::filesystem::path& work_dir, Operator& op);

// USER.DAT anew ("V1.5c") from the occupied slots, packed in slot order.
void WriteUserSlots(const std::filesystem::path& work_dir, const UserSlots& slots);

// "SAVE" with the four entry fields: a field that begins with a blank is emptied (in
// `entries` too, as the dialog shows it); with any field blank the record is refused in a
// warning box, otherwise stored in slot k. USER.DAT is written in either case. True when
// the record was stored.
bool SaveUserSlot(const std::filesystem::path& work_dir, Operator& op, UserSlots& slots, int k,
                  UserRecord& entries);

// "DEL": slot k is emptied and USER.DAT written without it.
void DeleteUserSlot(const std::filesystem::path& work_dir, UserSlots& slots, int k);

// "New Database": asks first; on Yes USER.DAT becomes an empty database and the restart box
// follows. The slots are left as they are. True when the database was made anew.
bool CreateNewUserDatabase(const std::filesystem::path& work_dir, Operator& op);

}  // namespace tidewire::config
