// The mark-read run: every subscribed group is caught up to all but its last N articles, and
// the mail waiting now is remembered as seen, so that later fetches bring only what comes
// after. Nothing is fetched and nothing deleted.
#include <optional>

#include "soup/local_files.h"
#include "soup/newsrc.h"
#include "soup/runs.h"
#include "soup/seen_mail.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

void CatchUpMail(const Options& options) {
  const ServerAddress address = ParseServerAddress(options.host, Service::kMailbox);
  std::unique_ptr<MailDrop> drop = OpenMailDrop(address, options.login);
  const std::vector<WaitingMail> waiting = drop->List();
  SeenMail seen(options.home + "/" + SeenMail::kFileName, AccountKey(address, options.login));
  if (const std::string renumbered = seen.FollowRenumbering(waiting); !renumbered.empty()) {
    Complain(renumbered);
  }
  seen.KeepOnly(waiting);
  std::size_t marked = 0;
  for (const WaitingMail& mail : waiting) {
    if (mail.uidl.empty()) {
      throw SoupError("the mail server keeps no unique ids (UIDL): its mail cannot be marked");
    }
    marked += seen.Contains(mail.uidl) ? 0 : 1;
    seen.Add(mail, SeenMail::How::kMarked);
  }
  seen.Save();
  drop->Finish();
  Say("marked " + std::to_string(marked) + " waiting mail(s) as read on " + address.Display());
}

bool CatchUpNews(const Options& options) {
  std::optional<NewsrcFile> file = ReadNewsrcFile(options);
  if (!file) return true;
  Newsrc& newsrc = file->newsrc;
  bool any = false;
  for (const Newsrc::Line& line : newsrc.lines) any = any || (line.group && line.group->subscribed);
  if (!any) return true;
  std::unique_ptr<NewsServer> server = OpenNewsServer(NewsServerAddress());
  bool all_done = true;
  for (Newsrc::Line& line : newsrc.lines) {
    if (!line.group || !line.group->subscribed) continue;
    const std::optional<GroupRange> range = server->Group(line.group->name);
    if (!range) {
      Complain("news: the news server has no group " + line.group->name);
      all_done = false;
      continue;
    }
    const std::uint64_t low = line.group->read.FirstUnread(range->low);
    std::uint64_t high = range->high > options.keep_unread ? range->high - options.keep_unread : 0;
    if (high < low) high = low - 1;
    line.group->read.Clear();
    if (high > 0) line.group->read.AddRange(1, high);
  }
  FinishQuietly(*server);
  SaveNewsrcFile(*file);
  Say("caught up the newsgroups of " + file->path);
  return all_done;
}

}  // namespace

int CatchUpRun(const Options& options) {
  bool all_done = true;
  if (options.get_mail && !options.host.empty()) {
    try {
      CatchUpMail(options);
    } catch (const SoupError& error) {
      Complain(std::string("mail: ") + error.what());
      all_done = false;
    }
  }
  if (options.get_news) {
    try {
      all_done = CatchUpNews(options) && all_done;
    } catch (const SoupError& error) {
      Complain(std::string("news: ") + error.what());
      all_done = false;
    }
  }
  return all_done ? 0 : 1;
}

}  // namespace tidewire::soup
