#include "config/user_settings.h"

#include <algorithm>
#include <stdexcept>

#include "base/file_layer.h"
#include "base/operator.h"
#include "base/text.h"
#include "config/flag_files.h"
#include "config/user_database.h"

namespace tidewire::config {

namespace {

bool AnyBlank(const UserRecord& entries) {
  return IsBlank(entries.UserCALL) || IsBlank(entries.HomeBBS) || IsBlank(entries.RealName) ||
         IsBlank(entries.RemailerAccount);
}

void EmptyIfLeadingBlank(std::string& field) {
  if (!field.empty() && field.front() == ' ') field.clear();
}

}  // namespace

UserSlots::UserSlots() : slots_(static_cast<std::size_t>(kSlotCount)) {}

const UserSlot& UserSlots::operator[](int k) const { return slots_.at(Index(k)); }

UserSlot& UserSlots::At(int k) { return slots_.at(Index(k)); }

std::size_t UserSlots::Index(int k) {
  if (k < 1 || k > kSlotCount) throw std::out_of_range("no user slot " + std::to_string(k));
  return static_cast<std::size_t>(k - 1);
}

int UserSlots::FirstFreeSlot() const {
  for (int k = 1; k <= kSlotCount; ++k) {
    if (IsBlank((*this)[k].RowText)) return k;
  }
  return 0;
}

int UserSlots::FindCall(std::string_view text) const {
  if (text.empty()) return 0;
  // Every slot: a user saved since the dialog opened is found too.
  for (int k = 1; k <= kSlotCount; ++k) {
    if ((*this)[k].Record.UserCALL.find(text) != std::string::npos) return k;
  }
  return 0;
}

void UserSlots::Store(int k, const UserRecord& entries) {
  UserSlot& slot = At(k);
  slot.RowText = entries.UserCALL;
  slot.Record.UserCALL = TrimTrailing(entries.UserCALL);
  slot.Record.HomeBBS = TrimTrailing(entries.HomeBBS);
  slot.Record.RealName = TrimTrailing(entries.RealName);
  slot.Record.RemailerAccount = TrimTrailing(entries.RemailerAccount);
}

void UserSlots::Clear(int k) { At(k) = UserSlot{}; }

std::vector<UserRecord> UserSlots::OccupiedRecords() const {
  // A row is blank exactly when its call is; one test decides the count line and the records
  // written, so the two always agree.
  std::vector<UserRecord> records;
  for (const UserSlot& slot : slots_) {
    if (!IsBlank(slot.Record.UserCALL)) records.push_back(slot.Record);
  }
  return records;
}

UserSlots ReadUserSlots(const fs::path& work_dir, Operator& op) {
  UserSlots slots;
  const auto path = work_dir / kUserFile;
  if (!FileIsPresent(path)) return slots;
  UserFileContent content = ReadUserFile(path);
  slots.loaded_count_ = static_cast<int>(content.Records.size());
  for (int k = 1; k <= slots.loaded_count_; ++k) {
    UserSlot& slot = slots.At(k);
    slot.Record = std::move(content.Records[static_cast<std::size_t>(k - 1)]);
    slot.RowText = slot.Record.UserCALL;
  }
  if (content.Count > UserSlots::kSlotCount) {
    WarningBox(op, "USER.DAT holds " + std::to_string(content.Count) +
                       " users, but only 100 fit.\rUsers after 100 are not shown and "
                       "are left out when USER.DAT is saved.");
  }
  return slots;
}

void WriteUserSlots(const fs::path& work_dir, const UserSlots& slots) {
  WriteUserFile(work_dir / kUserFile, kUserFileVersion, slots.OccupiedRecords());
}

bool SaveUserSlot(const fs::path& work_dir, Operator& op, UserSlots& slots, int k,
                  UserRecord& entries) {
  EmptyIfLeadingBlank(entries.UserCALL);
  EmptyIfLeadingBlank(entries.HomeBBS);
  EmptyIfLeadingBlank(entries.RealName);
  EmptyIfLeadingBlank(entries.RemailerAccount);
  const bool stored = !AnyBlank(entries);
  if (stored) {
    slots.Store(k, entries);
  } else {
    WarningBox(op, "Record not added, some fields are empty");
  }
  WriteUserSlots(work_dir, slots);
  return stored;
}

void DeleteUserSlot(const fs::path& work_dir, UserSlots& slots, int k) {
  slots.Clear(k);
  WriteUserSlots(work_dir, slots);
}

bool CreateNewUserDatabase(const fs::path& work_dir, Operator& op) {
  if (op.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo,
                 "Are you realy sure you want to create a new database?") != Answer::kYes) {
    return false;
  }
  const auto path = work_dir / kUserFile;
  DeleteFileIfPresent(path);
  WriteUserFile(path, kNewUserFileVersion, {});
  (void)op.ShowBox(BoxKind::kWarning, Buttons::kYes, "You need to restart the Tidewire software");
  return true;
}

}  // namespace tidewire::config
