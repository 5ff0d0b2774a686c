#include "inbound/news_conversion.h"

#include <vector>

#include "base/text.h"
#include "inbound/import_file.h"
#include "inbound/mail_conversion.h"
#include "inbound/traffic_log.h"

namespace tidewire::inbound {

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

// An article being judged waits here, off MAIL.IN.
constexpr std::string_view kNewsWork = "NEWSWORK.TMP";

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

// The body lines of an article, one per call, nothing at its end; a line that starts the next
// article goes to NEXT instead. At least one line is read, as the body of an article that ends
// with its header is one empty line.
class BodyReader {
 public:
  BodyReader(TextReader& in, const ArticleEnd& article_end, std::string& next)
      : in_(in), end_(article_end), next_(next) {}
  std::optional<std::string> operator()() {
    if (!next_.empty() || done_) return std::nullopt;
    bool beyond = false;
    std::string line = end_.Next(in_, beyond);
    if (beyond) {
      next_ = std::move(line);
      return std::nullopt;
    }
    done_ = in_.AtEnd();
    return line;
  }

 private:
  TextReader& in_;
  const ArticleEnd& end_;
  std::string& next_;
  bool done_ = false;
};

std::uint64_t HeaderSize(const ArticleHeader& header) {
  std::uint64_t size = 0;
  for (const std::string& line : header.HeaderStore) size += line.size() + 1;
  return size;
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
  const std::string address = Address(number);
  bool written = true;
  if (rules_.ChecksArticles()) {
    // Judged before a byte reaches MAIL.IN: the article waits in a working file meanwhile.
    WorkText body(station_.File(kNewsWork));
    BodyReader read(in, article_end, next);
    for (std::optional<std::string> line; (line = read());) body.Append(*line);
    body.Finish();
    const std::uint64_t size = HeaderSize(header) + body.size();
    const Judgement judgement = rules_.JudgeSizeAndFilter(station_.work_dir, size, [&](auto& raw) {
      for (const std::string& line : header.HeaderStore) raw.Write(line + "\r\n");
      RawOf(body)(raw);
    });
    written = judgement.verdict == Verdict::kPassed;
    if (written) {
      WorkText::Reader lines(body);
      WriteArticle(out, header, address, [&]() -> std::optional<std::string> {
        if (lines.AtEnd()) return std::nullopt;
        return lines.ReadLine();
      });
      lines.Close();
      LogArticle(header, size, address, Verdict::kPassed);
    } else {
      KeepOffTheAir(header, body, size, address, judgement);
    }
    DeleteFileIfPresent(station_.File(kNewsWork));
  } else {
    std::uint64_t size = HeaderSize(header);
    BodyReader lines(in, article_end, next);
    WriteArticle(out, header, address, [&]() -> std::optional<std::string> {
      std::optional<std::string> line = lines();
      if (line) size += line->size() + 1;
      return line;
    });
    if (rules_.Watched() || TrafficLogKept(station_.work_dir)) {
      LogArticle(header, size, address, Verdict::kPassed);
    }
  }
  if (written) {
    station_.op.SetProgressLabel(std::to_string(station_.bid.value()));
    station_.op.giveTurn();
    InfoMessageCheck(out);
    BroadcastCheck(out);
  }
  return next;
}

void NewsPass::WriteArticle(ImportWriter& out, const ArticleHeader& header,
                            const std::string& address, const BodySource& body) {
  const GatewayConfig& config = station_.config;
  // An article without a usable From: is signed by the gateway's own area, never left empty.
  std::string sender = header.Sender;
  if (config.UniversalFrom || sender.empty()) sender = config.AT;

  BeginLongMessage(out, station_.config, station_.bid, station_.Now(), address, sender,
                   header.SubjectText);
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
  for (std::optional<std::string> line; (line = body());) {
    if (!line->starts_with("Path:")) out.WriteBodyLine(*line);
  }
  WriteStandardTrailer(out, station_.config, station_.bid);
}

void NewsPass::KeepOffTheAir(const ArticleHeader& header, const WorkText& body, std::uint64_t size,
                             const std::string& address, const Judgement& judgement) {
  HeldMessage info;
  info.sender = SenderAddress("From: " + header.FromText);
  info.subject = TrimTrailing(header.SubjectText);
  info.size = size;
  info.reason = judgement.reason;
  info.news_to = address;
  const int n = HoldMessage(
      station_.work_dir, info,
      [&](BinaryWriter& raw) {
        for (const std::string& line : header.HeaderStore) raw.Write(line + "\r\n");
        RawOf(body)(raw);
      },
      station_.Now());
  if (judgement.verdict == Verdict::kDropped) (void)DropHeld(station_.work_dir, n);
  station_.Status(" " + std::string(VerdictWord(judgement.verdict)) + " (" + judgement.reason +
                  "): article from " + info.sender + ", HELD " + std::to_string(n));
  LogArticle(header, size, "", judgement.verdict);
}

void NewsPass::LogArticle(const ArticleHeader& header, std::uint64_t size,
                          const std::string& address, Verdict verdict) {
  LogTraffic(station_.work_dir,
             {station_.Now(), "in", SenderAddress("From: " + header.FromText), address,
              TrimTrailing(header.SubjectText), header.MessageId, size, verdict});
}

void NewsPass::ConvertReleased(ImportWriter& out, const HeldMessage& held) {
  TextReader in(ReleasedFile(station_.work_dir, held.number), LongLines::kSplit);
  const ArticleEnd article_end(false, "", in);
  ArticleHeader header;
  std::string next = ReadHeader(in, article_end, header);
  std::uint64_t size = HeaderSize(header);
  BodyReader lines(in, article_end, next);
  WriteArticle(out, header, held.news_to, [&]() -> std::optional<std::string> {
    std::optional<std::string> line = lines();
    if (line) size += line->size() + 1;
    return line;
  });
  in.Close();
  LogArticle(header, size, held.news_to, Verdict::kReleased);
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
  BeginLongMessage(out, station_.config, station_.bid, station_.Now(), address, "SERVER",
                   "*-* INFO Tidewire *-*");
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
    BeginLongMessage(out, station_.config, station_.bid, station_.Now(), PersonalAddress(users[k]),
                     "SERVER", "*-* BroadCast Message *-*");
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
