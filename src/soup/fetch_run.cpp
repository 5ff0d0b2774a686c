// The receive run: waiting mail into 0000000.MSG, the subscribed groups' new articles into
// 0000001.MSG, 0000002.MSG, ... (numbered in .newsrc order), then AREAS.
#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <vector>

#include "formats/soup_download.h"
#include "soup/local_files.h"
#include "soup/message_header.h"
#include "soup/newsrc.h"
#include "soup/protocol.h"
#include "soup/runs.h"
#include "soup/seen_mail.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

std::uint64_t FileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

struct Area {
  std::string prefix;
  std::string name;
  std::string encoding;
};

std::string AreaPrefix(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%07d", number);
  return text;
}

// Mail: fetched whole into the packet, made durable, remembered, and only then deleted.
bool FetchMail(const Options& options, std::vector<Area>& areas) {
  const ServerAddress address = ParseServerAddress(options.host, Service::kMailbox);
  std::unique_ptr<MailDrop> drop = OpenMailDrop(address, options.login);
  const std::vector<WaitingMail> waiting = drop->List();
  bool unique_ids = true;
  for (const WaitingMail& mail : waiting) unique_ids = unique_ids && !mail.uidl.empty();
  if (!unique_ids && options.read_only) {
    Complain(
        "the mail server keeps no unique ids (UIDL): with -r each fetch brings all waiting"
        " mail again");
  }
  SeenMail seen(options.home + "/" + SeenMail::kFileName, AccountKey(address, options.login));
  if (const std::string renumbered = seen.FollowRenumbering(waiting); !renumbered.empty()) {
    Complain(renumbered);
  }
  if (unique_ids) seen.KeepOnly(waiting);

  const std::string path = FindIgnoringCase(".", "0000000.MSG");
  std::vector<const WaitingMail*> fetched;
  std::vector<const WaitingMail*> doomed;
  std::optional<SoupError> trouble;
  {
    OutputFile out(path, OutputFile::Mode::kAppend);
    for (const WaitingMail& mail : waiting) {
      if (unique_ids && seen.Contains(mail.uidl)) {
        // In an earlier packet already, but its deletion did not happen: it goes now.
        if (!options.read_only && seen.Fetched(mail.uidl)) doomed.push_back(&mail);
        continue;
      }
      if (mail.size > kMaxMessageBytes) {  // known from the listing: not even fetched
        if (unique_ids) seen.Add(mail, SeenMail::How::kMarked);
        Complain("mail " + std::to_string(mail.number) + ": the message is larger than " +
                 std::to_string(kMaxMessageBytes >> 20) + " MiB: left on the server, not fetched");
        continue;
      }
      const std::uint64_t start = out.Size();
      try {
        out.Write(formats::MailboxSeparator(std::time(nullptr)));
        drop->Retrieve(mail, [&](std::string_view whole) {
          SplitAtLoneCr(whole, [&](std::string_view line) {
            if (formats::NeedsQuoting(line)) out.Write(">");
            out.Write(line);
            out.Write("\n");
          });
        });
      } catch (const MessageTooLarge& error) {
        // Left on the server and, where it has an id, never fetched again: a mail that size
        // has no place on the air, and a server must not make every pass fetch it anew.
        out.TruncateTo(start);
        if (unique_ids) seen.Add(mail, SeenMail::How::kMarked);
        Complain("mail " + std::to_string(mail.number) + ": " + error.what() +
                 ": left on the server, not fetched");
        if (error.in_step()) continue;
        trouble = error;
        break;
      } catch (const SoupError& error) {
        out.TruncateTo(start);  // half a message is no message
        trouble = error;
        break;
      }
      fetched.push_back(&mail);
    }
    out.Sync();
    if (out.Size() == 0) RemoveFile(path);
  }
  if (unique_ids) {
    for (const WaitingMail* mail : fetched) seen.Add(*mail, SeenMail::How::kFetched);
    seen.Save();
  }
  if (!fetched.empty() && !options.read_only) {
    doomed.insert(doomed.end(), fetched.begin(), fetched.end());
  }
  if (FileSize(path) > 0) areas.push_back({"0000000", "Email", "mn"});
  Say("fetched " + std::to_string(fetched.size()) + " mail(s) from " + address.Display());
  if (trouble) throw *trouble;
  for (const WaitingMail* mail : doomed) drop->Delete(*mail);
  drop->Finish();
  return true;
}

// The groups another article of this fetch names in its Xref: line.
std::vector<std::pair<std::string, std::uint64_t>> CrossPostings(const std::string& article) {
  std::vector<std::pair<std::string, std::uint64_t>> places;
  for (const HeaderField& field : HeaderFields(article)) {
    if (!StartsWithIgnoringCase(field.name, "xref") || field.name.size() != 4) continue;
    std::size_t pos = field.value.find(' ');  // the host comes first
    while (pos != std::string::npos) {
      const std::size_t start = pos + 1;
      pos = field.value.find(' ', start);
      const std::string item = field.value.substr(start, pos - start);
      const std::size_t colon = item.rfind(':');
      if (colon == std::string::npos || colon == 0) continue;
      places.emplace_back(item.substr(0, colon),
                          std::strtoull(item.c_str() + colon + 1, nullptr, 10));
    }
  }
  return places;
}

struct NewsBudget {
  std::uint64_t limit = 0;
  std::uint64_t used = 0;
  [[nodiscard]] bool Spent() const { return limit > 0 && used >= limit; }
};

// One group: its new articles into the area's file; its read list changes only once the
// file is on the disk, so a failure never marks an article read that the packet lacks.
// False when the server has no such group; throws SoupError when the server fails.
bool FetchGroup(NewsServer& server, NewsrcGroup& group, int number, NewsBudget& budget,
                std::map<std::string, NewsrcGroup*>& groups, std::vector<Area>& areas) {
  const std::optional<GroupRange> range = server.Group(group.name);
  if (!range) {
    Complain("news: the news server has no group " + group.name +
             " (it stays in .newsrc as it is)");
    return false;
  }
  ArticleSet read = group.read;
  if (read.Highest() > range->high) {  // the group was renumbered on the server
    read.Clear();
    if (range->high > 0) read.AddRange(1, range->high);
  }
  read.ExpireBelow(range->low);
  std::vector<std::pair<NewsrcGroup*, std::uint64_t>> also_read;
  const std::string path = FindIgnoringCase(".", AreaPrefix(number) + ".MSG");
  std::unique_ptr<OutputFile> out;
  std::optional<SoupError> trouble;
  std::uint64_t count = 0;
  for (std::uint64_t n = std::max<std::uint64_t>(read.FirstUnread(range->low), range->low);
       n <= range->high && !budget.Spent(); ++n) {
    if (read.Contains(n)) continue;
    std::optional<std::string> article;
    try {
      article = server.Article(group.name, n);
    } catch (const MessageTooLarge& error) {
      read.Add(n);  // skipped for good
      Complain("news: article " + std::to_string(n) + " of " + group.name + ": " + error.what() +
               ": skipped");
      if (error.in_step()) continue;
      trouble = error;
      break;
    } catch (const SoupError& error) {
      trouble = error;
      break;
    }
    read.Add(n);
    if (!article) continue;  // expired or cancelled meanwhile
    if (!out) out = std::make_unique<OutputFile>(path, OutputFile::Mode::kAppend);
    out->Write(formats::RnewsLine(article->size()));
    out->Write(*article);
    ++count;
    budget.used += article->size() + 14;
    for (const auto& [name, other] : CrossPostings(*article)) {
      const auto found = groups.find(name);
      if (found != groups.end() && found->second != &group) {
        also_read.emplace_back(found->second, other);
      }
    }
  }
  if (out) out->Sync();
  if (FileSize(path) > 0) areas.push_back({AreaPrefix(number), group.name, "un"});
  group.read = read;
  for (const auto& [other, n] : also_read) other->read.Add(n);
  if (count > 0) Say("fetched " + std::to_string(count) + " article(s) of " + group.name);
  if (trouble) throw *trouble;
  return true;
}

bool FetchNews(const Options& options, std::vector<Area>& areas) {
  std::optional<NewsrcFile> file = ReadNewsrcFile(options);
  if (!file) {
    Say("no .newsrc in " + options.home + ": no news fetched");
    return true;
  }
  Newsrc& newsrc = file->newsrc;
  std::map<std::string, NewsrcGroup*> groups;
  for (Newsrc::Line& line : newsrc.lines) {
    if (line.group && line.group->subscribed) groups.emplace(line.group->name, &*line.group);
  }
  if (groups.empty()) return true;
  std::unique_ptr<NewsServer> server = OpenNewsServer(NewsServerAddress());
  NewsBudget budget;
  budget.limit = options.max_news_bytes;
  bool all_done = true;
  bool server_gone = false;
  int number = 0;
  for (Newsrc::Line& line : newsrc.lines) {
    if (!line.group || !line.group->subscribed) continue;
    ++number;  // the area number follows the line, as the gateway's TWIRE.PTI does
    if (budget.Spent() || server_gone) continue;
    try {
      all_done = FetchGroup(*server, *line.group, number, budget, groups, areas) && all_done;
    } catch (const SoupError& error) {
      Complain(std::string("news: ") + error.what());
      all_done = false;
      server_gone = true;
    }
    // The group's articles are on the disk: its read list follows at once, so that a client
    // killed in a later group does not bring these again.
    SaveNewsrcFile(*file);
  }
  if (budget.Spent()) {
    Say("the news packet limit is reached; the rest waits for the next fetch");
  }
  if (!server_gone) FinishQuietly(*server);
  SaveNewsrcFile(*file);
  return all_done;
}

void WriteAreas(const std::vector<Area>& areas) {
  std::string text;
  for (const Area& area : areas)
    text += area.prefix + "\t" + area.name + "\t" + area.encoding + "\n";
  const std::string path = FindIgnoringCase(".", "AREAS");
  if (text.empty()) {
    RemoveFile(path);
  } else {
    WriteFileAtomically(path, text);
  }
}

}  // namespace

int FetchRun(const Options& options) {
  bool all_done = true;
  std::vector<Area> areas;
  if (options.get_mail) {
    try {
      all_done = FetchMail(options, areas);
    } catch (const SoupError& error) {
      Complain(std::string("mail: ") + error.what());
      all_done = false;
    }
  }
  if (options.get_news) {
    try {
      all_done = FetchNews(options, areas) && all_done;
    } catch (const SoupError& error) {
      Complain(std::string("news: ") + error.what());
      all_done = false;
    }
  }
  WriteAreas(areas);
  return all_done ? 0 : 1;
}

}  // namespace tidewire::soup
