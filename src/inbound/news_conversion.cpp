#include "inbound/news_conversion.h"

#include <vector>

#include "base/text.h"
#include "inbound/import_file.h"
#include "inbound/mail_conversion.h"

namespace tidewire::inbound {

namespace {

constexpr std::string_view kArticleStart = "#! rnews";
constexpr std::string_view kInfoFile = "twire.sim";
constexpr std::string_view kBroadcastFile = "bmes.txt";

// A piece of a long line never starts an article.
bool IsArticleStart(const TextReader& in, std::string_view line) {
  return !in.Continues() && line.starts_with(kArticleStart);
}

// Where the article in hand ends: at the offset its count gives in a counted batch, otherwise
// at the next "#! rnews" line.
class ArticleEnd {
 public:
  ArticleEnd(bool counted, std::string_view start_line, const TextReader& in) {
    if (!counted || !start_line.starts_with("#! rnews ")) return;
    std::int64_t count = 0;
    for (const char c : start_line.substr(9)) {
      if (c < '0' || c > '9' || count > (std::int64_t{1} << 50)) return;
      count = count * 10 + (c - '0');
    }
    end_ = in.Offset() + count;
  }

  // The next line, and whether it belongs to the next article already.
  std::string Next(TextReader& in, bool& beyond) const {
    const std::int64_t at = in.Offset();
    std::string line = in.ReadLine();
    beyond = end_ >= 0 ? at >= end_ : IsArticleStart(in, line);
    return line;
  }

 private:
  std::int64_t end_ = -1;
};

std::string Field(const std::string& line, std::size_t from, std::size_t count) {
  return line.size() > from ? line.substr(from, count) : std::string();
}

bool IsPseudoCallChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 48 && u <= 122 && u != 64;
}

// What an article's header block said, and the block itself as far as it is kept.
struct ArticleHeader {
  std::string NewsgroupsText;
  std::string FromText;
  std::string SubjectText;
  std::string Sender;
  std::string MessageId;
  LineHash Hash;  // of every header line
  std::vector<std::string> HeaderStore;
  std::size_t stored_bytes = 0;
  std::size_t left_out = 0;
};

// Reads the header block. A block that runs into the next article's "#! rnews" line (a truncated
// article without the empty line) ends there, so two articles are never merged into one
// message; that line is returned, otherwise "".
std::string ReadHeader(TextReader& in, const ArticleEnd& article_end, ArticleHeader& header) {
  for (;;) {
    bool beyond = false;
    std::string line = article_end.Next(in, beyond);
    if (beyond) {
      header.HeaderStore.emplace_back();
      return line;
    }
    if (line.starts_with("Newsgroups:")) header.NewsgroupsText = Field(line, 12, 79);
    if (line.starts_with("From:")) {
      header.FromText = Field(line, 6, 100);
      header.Sender = NewsSender(line);
    }
    if (line.starts_with("Subject:")) header.SubjectText = Field(line, 9, 79);
    if (header.MessageId.empty()) header.MessageId = MessageIdOf(line);
    header.Hash.Add(line);
    const bool end = line.empty();
    // The empty line that ends the block is always kept, so the block stays well-formed.
    if (end || (header.HeaderStore.size() < NewsPass::kMaxHeaderLines &&
                header.stored_bytes + line.size() <= NewsPass::kMaxHeaderBytes)) {
      header.stored_bytes += line.size();
      header.HeaderStore.push_back(std::move(line));
    } else {
      ++header.left_out;
    }
    if (end) return {};
  }
}

}  // namespace

std::string NewsSender(std::string_view from_line) {
  const std::size_t open = from_line.find('(');
  const std::size_t close = from_line.find(')');
  std::string_view source;
  if (open != std::string_view::npos && close != std::string_view::npos && close > open + 1) {
    source = from_line.substr(open + 1, close - open - 1);
  } else if (from_line.size() > 6) {
    source = from_line.substr(6, 35);
  }
  std::string sender;
  for (const char c : source) {
    if (IsPseudoCallChar(c)) sender.push_back(c);
    if (sender.size() == 6) break;
  }
  return sender;
}

void NewsPass::ConvertNewsFile(ImportWriter& out, TextReader& in, std::int32_t number) {
  std::string line = in.ReadLine();
  counted_ = line == kCountedBatch;
  while (!in.AtEnd()) {
    if (IsArticleStart(in, line)) {
      line = ConvertArticle(out, in, number, line);
    } else {
      line = in.ReadLine();
    }
  }
}

std::string NewsPass::Address(std::int32_t number) const {
  const GatewayConfig& config = station_.config;
  std::string name(number > 0 ? config.NewsDestination(static_cast<std::size_t>(number)) : "");
  if (name.empty()) name = "OTHER";
  if (name.find('@') != std::string::npos) return name;
  if (config.SwapNewsAddress) return "SB " + config.AT + " @ " + LeftCopy(name, 6);
  return "SB " + LeftCopy(name, 6) + " @ " + config.AT;
}

// Returns the "#! rnews" line that ended the article, or "" at the end of the file.
std::string NewsPass::ConvertArticle(ImportWriter& out, TextReader& in, std::int32_t number,
                                     std::string_view start_line) {
  const ArticleEnd article_end(counted_, start_line, in);
  ArticleHeader header;
  std::string next = ReadHeader(in, article_end, header);
  if (journal_ != nullptr && journal_->Repeated(MessageJournal::NewsKey(
                                 Address(number), header.MessageId, header.Hash.value()))) {
    station_.Status(" Handed to FBB before, skipped: article " + header.MessageId);
    while (next.empty()) {
      bool beyond = false;
      std::string line = article_end.Next(in, beyond);
      if (beyond) next = std::move(line);
      if (beyond || in.AtEnd()) break;
    }
    return next;
  }
  const GatewayConfig& config = station_.config;
  // An article without a usable From: is signed by the gateway's own area, never left empty.
  std::string sender = header.Sender;
  if (config.UniversalFrom || sender.empty()) sender = config.AT;

  BeginLongMessage(out, station_, Address(number), sender, header.SubjectText);
  ++station_.counters.InetToPacket;
  out.WriteBodyLine("** NEWSGROUP: " + header.NewsgroupsText);
  if (config.ShortNewsHeaders) {
    out.WriteBodyLine("** FROM     : " + header.FromText);
    out.WriteBodyLine("");
  } else {
    for (const std::string& line : header.HeaderStore) {
      if (line.empty() && header.left_out > 0) {
        out.WriteBodyLine("** (" + std::to_string(header.left_out) +
                          " further header lines left out)");
      }
      out.WriteBodyLine(line);
    }
  }
  while (next.empty()) {
    bool beyond = false;
    std::string line = article_end.Next(in, beyond);
    if (beyond) {
      next = std::move(line);
      break;
    }
    if (!line.starts_with("Path:")) out.WriteBodyLine(line);
    if (in.AtEnd()) break;
  }
  WriteStandardTrailer(out, station_.config, station_.bid);
  station_.op.SetProgressLabel(std::to_string(station_.bid.value()));
  station_.op.giveTurn();
  InfoMessageCheck(out);
  BroadcastCheck(out);
  return next;
}

void NewsPass::CopyTextFile(ImportWriter& out, std::string_view name) {
  TextReader text(station_.File(name), LongLines::kSplit);
  do {
    out.WriteBodyLine(text.ReadLine());
  } while (!text.AtEnd());
  text.Close();
}

void NewsPass::InfoMessageCheck(ImportWriter& out) {
  const GatewayConfig& config = station_.config;
  ++articles_since_info_;
  if (config.AfterXMessage == 0 || articles_since_info_ < config.AfterXMessage || info_sent_once_ ||
      !FileIsPresent(station_.File(kInfoFile))) {
    return;
  }
  const std::string address =
      config.SwapNewsAddress ? "SB " + config.AT + " @ INFO" : "SB INFO @ " + config.AT;
  BeginLongMessage(out, station_, address, "SERVER", "*-* INFO Tidewire *-*");
  ++station_.counters.InetToPacket;
  CopyTextFile(out, kInfoFile);
  out.WriteBodyLine("");
  out.WriteEnd();
  articles_since_info_ = 0;
  if (config.AfterXMessage == 1) info_sent_once_ = true;
}

void NewsPass::BroadcastCheck(ImportWriter& out) {
  if (!FileIsPresent(station_.File(kBroadcastFile))) return;
  station_.Status(" Processing file: BMES.TXT (Broadcast message)");
  const UserDatabase& users = station_.users;
  for (int k = 1; k <= users.UserCount(); ++k) {
    BeginLongMessage(out, station_, PersonalAddress(users[k]), "SERVER",
                     "*-* BroadCast Message *-*");
    ++station_.counters.InetToPacket;
    out.WriteBodyLine("This is a message for all Tidewire users");
    out.WriteBodyLine("-----------------------------------------------");
    out.WriteBodyLine("");
    CopyTextFile(out, kBroadcastFile);
    out.WriteBodyLine("");
    out.WriteBodyLine(CurrentInfoLine(station_.config, station_.bid));
    out.WriteBodyLine(BannerLine(station_.bid));
    out.WriteBodyLine("");
    out.WriteEnd();
  }
  // Deleted with the downloads once the conversion is complete; until then a crash gives it back.
  RenameFile(station_.File(kBroadcastFile), station_.File(kSentBroadcastFile));
}

}  // namespace tidewire::inbound
