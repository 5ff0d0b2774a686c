#include "cycle/health.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"

namespace tidewire::cycle {

namespace {

constexpr std::string_view kHealthFile = "HEALTH";
constexpr std::string_view kMinutesFile = "HEALTH.MIN";
constexpr int kDefaultMinutes = 30;

struct Entry {
  std::string_view name;
  std::time_t Health::*field;
};

constexpr Entry kEntries[] = {
    {"last good pass", &Health::last_good_pass},
    {"last fetch", &Health::last_fetch},
    {"last send", &Health::last_send},
    {"mail.in waiting since", &Health::mailin_waiting_since},
    {"reply packet waiting since", &Health::packet_waiting_since},
};

std::string Shown(std::time_t when) { return std::to_string(when) + " " + WhenText(when); }

}  // namespace

std::string WhenText(std::time_t when) {
  if (when == 0) return "never";
  char text[32];
  tm local{};
  localtime_r(&when, &local);
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

Health ReadHealth(const fs::path& work_dir) {
  Health health;
  const fs::path path = work_dir / kHealthFile;
  if (!UsableFileExists(path)) return health;
  TextReader in(path);
  while (!in.AtEnd()) {
    const std::string line = in.ReadLine();
    for (const Entry& entry : kEntries) {
      if (!line.starts_with(entry.name) || line.size() < entry.name.size() + 2) continue;
      const std::string rest = line.substr(entry.name.size() + 2);
      const std::string digits = rest.substr(0, rest.find(' '));
      std::int64_t value = 0;
      const auto [end, error] =
          std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (error == std::errc() && end == digits.data() + digits.size() && value >= 0) {
        health.*entry.field = static_cast<std::time_t>(value);
      }
    }
  }
  in.Close();
  return health;
}

void WriteHealth(const fs::path& work_dir, const Health& health) {
  TextWriter out(work_dir / kHealthFile, TextWriter::Mode::kReplace);
  for (const Entry& entry : kEntries) {
    out.WriteLine(std::string(entry.name) + ": " + Shown(health.*entry.field));
  }
  out.Close();
}

int StillMinutes(const fs::path& work_dir) {
  const fs::path path = work_dir / kMinutesFile;
  if (!UsableFileExists(path)) return kDefaultMinutes;
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  const std::optional<std::int32_t> minutes = ParseDecimal(TrimTrailing(in.ReadLine()));
  in.Close();
  return minutes && *minutes > 0 ? *minutes : kDefaultMinutes;
}

std::string MailNotMoving(const Health& health, std::time_t now, int minutes) {
  const std::time_t limit = static_cast<std::time_t>(minutes) * 60;
  const auto stale = [&](std::time_t since) { return since != 0 && now - since > limit; };
  const std::string span = " for more than " + std::to_string(minutes) + " minutes";
  if (stale(health.mailin_waiting_since)) return "FBB has not imported mail.in" + span;
  if (stale(health.packet_waiting_since)) return "the reply packet has not been sent" + span;
  // A station that never fetched counts from its first good pass on.
  const std::time_t fetched = health.last_fetch != 0 ? health.last_fetch : health.last_good_pass;
  if (stale(fetched)) return "no mail was fetched" + span;
  return {};
}

std::string HealthSummary(const Health& health, const std::string& not_moving) {
  std::string text = not_moving.empty() ? "Mail moves" : "Mail does not move: " + not_moving;
  text += "; last good pass " + WhenText(health.last_good_pass) + ", fetch " +
          WhenText(health.last_fetch) + ", send " + WhenText(health.last_send);
  if (health.mailin_waiting_since != 0) {
    text += "; mail.in waiting since " + WhenText(health.mailin_waiting_since);
  }
  if (health.packet_waiting_since != 0) {
    text += "; reply packet waiting since " + WhenText(health.packet_waiting_since);
  }
  return text;
}

void ShowStationHealth(const fs::path& work_dir, std::time_t now, Operator& op) {
  if (!FileIsPresent(work_dir / kHealthFile)) return;  // no pass yet
  try {
    const Health health = ReadHealth(work_dir);
    const std::string not_moving = MailNotMoving(health, now, StillMinutes(work_dir));
    op.ShowHealth(HealthSummary(health, not_moving), !not_moving.empty());
  } catch (const IoError&) {
    // Shown at the next pass, which says what is wrong with the file.
  }
}

}  // namespace tidewire::cycle
