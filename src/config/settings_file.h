#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/station.h"

namespace tidewire::config {

// The box text when TWIRE.CFG is missing, shown by the load and by the settings dialog.
inline constexpr std::string_view kConfigFileMissingText =
    "TWIRE.CFG file not found! Please set and save settings\r"
    "or use your Backup disk to restore old one.";

// The settings dialog's fields, named after their controls, as read from TWIRE.CFG.
struct SettingsFields {
  // Lines 1 to 15.
  std::string MailinDIR;
  std::string HRoute;
  std::string QTH;
  std::string BBSCall;
  std::string AT2;
  std::string Remailer;
  std::string InfoLine;
  std::string InfoLine2;
  std::string AT;
  std::string SMTPmailserver;
  std::string POP3mailserver;
  std::string NewsServer;
  std::string UserID;
  std::string PassWord;
  std::string EmailAccount;
  // Lines 16 to 21 as read.
  std::string NewsHeadersText;
  std::string MailHeadersText;
  std::string AfterXMessageText;  // the read-only stored-value field
  std::string SwapText;
  std::string ConfigurationCode;  // the code field
  std::string UniversalFromText;
  bool UniversalFromChecked = false;  // the Universal FROM check box

  // What the fields hold before any file was read: each its control name, "01" and "1".
  [[nodiscard]] static SettingsFields Placeholders();

  bool operator==(const SettingsFields&) const = default;
};

// The dialog's reading of TWIRE.CFG: leading lines holding "*" are skipped; lines 16 to 21
// also set their GatewayConfig fields (not ConfigurationCode mode 2). A missing file shows
// its error box and gives nothing.
std::optional<SettingsFields> ReadSettingsAtStart(const std::filesystem::path& work_dir,
                                                  GatewayConfig& config, Operator& op);

// The dialog's OK: TWIRE.CFG anew with exactly 21 lines. Lines 16, 17 and 19 come from
// GatewayConfig, line 18 from the two-digit entry ("xx": the stored AfterXMessageStr, or
// "30" when that is empty).
void WriteSettingsFile(const std::filesystem::path& work_dir, const GatewayConfig& config,
                       const SettingsFields& fields, std::string_view two_digit_entry);

}  // namespace tidewire::config
