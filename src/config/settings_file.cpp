#include "config/settings_file.h"

#include <array>

#include "base/file_layer.h"
#include "base/operator.h"
#include "base/text.h"
#include "config/flag_files.h"

namespace tidewire::config {

namespace {

// Lines 1 to 15 in file order.
constexpr std::array<std::string SettingsFields::*, 15> kTextLines = {
    &SettingsFields::MailinDIR,
    &SettingsFields::HRoute,
    &SettingsFields::QTH,
    &SettingsFields::BBSCall,
    &SettingsFields::AT2,
    &SettingsFields::Remailer,
    &SettingsFields::InfoLine,
    &SettingsFields::InfoLine2,
    &SettingsFields::AT,
    &SettingsFields::SMTPmailserver,
    &SettingsFields::POP3mailserver,
    &SettingsFields::NewsServer,
    &SettingsFields::UserID,
    &SettingsFields::PassWord,
    &SettingsFields::EmailAccount,
};

constexpr std::array<const char*, 15> kControlNames = {
    "MailinDIR",      "HRoute",     "QTH",       "BBSCall",  "AT2",
    "remailer",       "InfoLine",   "InfoLine2", "AT",       "SMTPmailserver",
    "POP3mailserver", "NewsServer", "UserID",    "PassWord", "EmailAccount",
};

std::string_view FlagText(bool flag) { return flag ? "TRUE" : "FALSE"; }

// A single-line field never holds a line end or an end-of-file byte; either would shift or
// cut off the lines after it when the file is read back.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\x1a') c = ' ';
  }
  return line;
}

std::string AfterXMessageLine(const GatewayConfig& config, std::string_view two_digit_entry) {
  if (two_digit_entry != "xx") return std::string(two_digit_entry);
  return config.AfterXMessageStr.empty() ? "30" : config.AfterXMessageStr;
}

void ApplyFlagLines(const SettingsFields& fields, GatewayConfig& config) {
  config.ShortNewsHeaders = FlagLineIsTrue(fields.NewsHeadersText);
  config.ShortMailHeaders = FlagLineIsTrue(fields.MailHeadersText);
  config.AfterXMessageStr = fields.AfterXMessageText;
  config.AfterXMessage =
      ParseDecimal(fields.AfterXMessageText).value_or(LeadingDigitsValue(fields.AfterXMessageText));
  config.SwapNewsAddress = FlagLineIsTrue(fields.SwapText);
  config.ConfigurationCode = fields.ConfigurationCode;
  config.UniversalFrom = fields.UniversalFromChecked;
}

}  // namespace

SettingsFields SettingsFields::Placeholders() {
  SettingsFields fields;
  for (std::size_t i = 0; i < kTextLines.size(); ++i) fields.*kTextLines[i] = kControlNames[i];
  fields.AfterXMessageText = "01";
  fields.ConfigurationCode = "1";
  return fields;
}

std::optional<SettingsFields> ReadSettingsAtStart(const fs::path& work_dir, GatewayConfig& config,
                                                  Operator& op) {
  const auto path = work_dir / kConfigFile;
  if (!FileIsPresent(path)) {
    ErrorBox(op, kConfigFileMissingText);
    return std::nullopt;
  }
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  SettingsFields fields;
  std::string line = in.ReadLine();
  while (line.find('*') != std::string::npos) line = in.ReadLine();
  fields.*kTextLines[0] = std::move(line);
  for (std::size_t i = 1; i < kTextLines.size(); ++i) fields.*kTextLines[i] = in.ReadLine();
  fields.NewsHeadersText = in.ReadLine();
  fields.MailHeadersText = in.ReadLine();
  fields.AfterXMessageText = in.ReadLine();
  fields.SwapText = in.ReadLine();
  fields.ConfigurationCode = in.ReadLine();
  fields.UniversalFromText = in.ReadLine();
  fields.UniversalFromChecked = FlagLineIsTrue(fields.UniversalFromText);
  in.Close();
  ApplyFlagLines(fields, config);
  return fields;
}

void WriteSettingsFile(const fs::path& work_dir, const GatewayConfig& config,
                       const SettingsFields& fields, std::string_view two_digit_entry) {
  TextWriter out(work_dir / kConfigFile, TextWriter::Mode::kReplace);
  for (const auto member : kTextLines) out.WriteLine(OneLine(fields.*member));
  out.WriteLine(FlagText(config.ShortNewsHeaders));
  out.WriteLine(FlagText(config.ShortMailHeaders));
  out.WriteLine(OneLine(AfterXMessageLine(config, two_digit_entry)));
  out.WriteLine(FlagText(config.SwapNewsAddress));
  out.WriteLine(OneLine(fields.ConfigurationCode));
  out.WriteLine(FlagText(fields.UniversalFromChecked));
  out.Close();
}

}  // namespace tidewire::config
