// The send run: every message of the reply packet goes out (mail by SMTP, news by NNTP POST);
// the packet is then rewritten to hold exactly what was not sent, or removed when all went.
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "formats/format_error.h"
#include "formats/soup_download.h"
#include "formats/soup_packet.h"
#include "soup/local_files.h"
#include "soup/message_header.h"
#include "soup/runs.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

// REPLIES as areas; a line not understood stops the run before anything is sent.
std::vector<formats::ReplyArea> ReadReplies(const std::string& text) {
  try {
    return formats::ParseReplies(text);
  } catch (const formats::FormatError& error) {
    throw SoupError(error.what());
  }
}

// The largest message handed to a server; read whole, as servers take it. A larger one stays
// in the packet with a complaint (mail servers refuse far smaller ones anyway).
constexpr std::uint64_t kLargestMessage = 16u << 20;

// A packet file is indexed, not read: its messages are read one at a time as they go out.
struct PacketFile {
  formats::ReplyArea area;
  std::string path;
  std::unique_ptr<InputFile> file;
  std::vector<formats::PacketEntry> messages;
  std::vector<bool> sent;
};

// Rewrites the packet file with only the messages not sent, copied in blocks.
void KeepUnsent(const PacketFile& packet) {
  ReplaceFileAtomically(packet.path, [&](OutputFile& out) {
    for (std::size_t i = 0; i < packet.messages.size(); ++i) {
      if (packet.sent[i]) continue;
      const formats::PacketEntry& entry = packet.messages[i];
      out.Write(formats::PacketFraming(entry.length, packet.area.encoding[0]));
      packet.file->CopyRange(entry.offset, entry.length, out);
    }
  });
}

std::string SubjectOf(std::string_view message) {
  for (const HeaderField& field : HeaderFields(message)) {
    if (field.name == "Subject" || field.name == "subject") return "\"" + field.value + "\"";
  }
  return "(no subject)";
}

// Mail tells its sender of the recipients it did not reach; so does the gateway's client. The
// notice goes into the mailbox the gateway converts, addressed to the packet user's own
// address, so he finds it on the air; the message is not sent again to the others.
void NoticeOfRefusedRecipients(const Envelope& envelope, const std::string& subject,
                               const std::vector<std::string>& refused) {
  std::string notice = formats::MailboxSeparator(std::time(nullptr)) +
                       "From: Mail Delivery System <MAILER-DAEMON@tidewire.invalid>\n"
                       "To: " +
                       envelope.sender +
                       "\n"
                       "Subject: Undelivered mail: " +
                       subject +
                       "\n\n"
                       "Your mail " +
                       subject + " did not reach these recipients:\n\n";
  for (const std::string& recipient : refused) notice += "  " + recipient + "\n";
  notice += "\nThe other recipients got it; it is not sent to them again.\n";
  std::string quoted;
  std::size_t start = notice.find('\n') + 1;
  quoted = notice.substr(0, start);
  while (start < notice.size()) {
    const std::size_t end = notice.find('\n', start);
    const std::string_view line(notice.data() + start, end - start);
    if (formats::NeedsQuoting(line)) quoted += '>';
    quoted.append(line).append("\n");
    start = end + 1;
  }
  OutputFile out(FindIgnoringCase(".", "0000000.MSG"), OutputFile::Mode::kAppend);
  out.Write(quoted);
  out.Close();
}

// Every message a server accepted is written down at once, on the disk, until the packet is
// rewritten without it: a run killed halfway does not send those again.
class SentRecord {
 public:
  static constexpr const char* kFileName = "REPLIES.SNT";

  SentRecord() : path_(FindIgnoringCase(".", kFileName)) {
    const std::optional<std::string> text = ReadSmallFile(path_);
    if (!text) return;
    std::size_t start = 0;
    while (start < text->size()) {
      std::size_t end = text->find('\n', start);
      if (end == std::string::npos) break;  // a line cut by the kill is no record
      recorded_.insert(text->substr(start, end - start));
      start = end + 1;
    }
  }

  // A message's record: its area, length and a hash of its bytes (the gateway gives every
  // message its own Message-ID, so no two are alike).
  static std::string KeyOf(const std::string& prefix, std::string_view message) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : message) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return prefix + " " + std::to_string(message.size()) + " " + std::to_string(hash);
  }

  [[nodiscard]] bool Contains(const std::string& key) const { return recorded_.contains(key); }

  void Add(const std::string& key) {
    OutputFile out(path_, OutputFile::Mode::kAppend);
    out.Write(key + "\n");
    out.Sync();
    out.Close();
    recorded_.insert(key);
  }

  void Remove() const { RemoveFile(path_); }

 private:
  std::string path_;
  std::set<std::string> recorded_;
};

// Opens a server the first time it is needed; a server that could not be reached or broke
// off is not tried again in this run.
template <typename Server>
class Lazy {
 public:
  template <typename Open>
  Server* Get(const Open& open) {
    if (!tried_) {
      tried_ = true;
      try {
        server_ = open();
      } catch (const SoupError& error) {
        Complain(error.what());
      }
    }
    return server_.get();
  }
  void Drop() { server_.reset(); }
  void Finish() {
    if (server_) FinishQuietly(*server_);
  }

 private:
  bool tried_ = false;
  std::unique_ptr<Server> server_;
};

// The whole packet, indexed before anything is sent: a broken file stops the run first.
std::vector<PacketFile> IndexReplyPacket(const std::string& replies) {
  std::vector<PacketFile> files;
  for (const formats::ReplyArea& area : ReadReplies(replies)) {
    PacketFile file;
    file.area = area;
    file.path = FindIgnoringCase(".", area.prefix + ".MSG");
    file.file = InputFile::Open(file.path);
    if (file.file) {
      const InputFile& in = *file.file;
      try {
        file.messages =
            formats::IndexPacket([&in](std::uint64_t offset, char* data,
                                       std::size_t size) { return in.ReadAt(offset, data, size); },
                                 in.Size(), area.encoding[0]);
      } catch (const formats::FormatError& error) {
        throw SoupError(file.path + ": " + error.what() + "; nothing was sent");
      }
    } else {
      Say(file.path + " is not there: it was sent before");
    }
    file.sent.assign(file.messages.size(), false);
    files.push_back(std::move(file));
  }
  return files;
}

// Sends the messages of a packet, each over the server of its kind, opened when first needed.
class PacketSender {
 public:
  explicit PacketSender(const Options& options) : options_(options) {}

  // Sends message I of FILE unless a stopped run sent it; true when it is sent now or was.
  bool Send(PacketFile& file, std::size_t i) {
    const bool is_mail = file.area.kind == "mail";
    const formats::PacketEntry& entry = file.messages[i];
    const std::string place =
        std::string(is_mail ? "mail " : "article ") + std::to_string(i + 1) + " of " + file.path;
    if (entry.length > kLargestMessage) {
      Complain(place + " is not sent: it is larger than " + std::to_string(kLargestMessage >> 20) +
               " MiB");
      return false;
    }
    std::string what = place;
    try {
      const std::string message = file.file->ReadRange(entry.offset, entry.length);
      what += " " + SubjectOf(message);
      const std::string key = SentRecord::KeyOf(file.area.prefix, message);
      if (record_.Contains(key)) {
        Say(what + " was sent by a run that was stopped: not sent again");
        return true;
      }
      const std::optional<Delivery> delivery =
          is_mail ? SendMail(message, what) : PostArticle(message);
      if (!delivery) return false;
      if (!delivery->sent) {
        Complain(what + " was refused: " + delivery->refusal);
        return false;
      }
      record_.Add(key);
      for (const std::string& refused : delivery->refused) {
        Complain(what + " did not reach " + refused);
      }
      if (is_mail && !delivery->refused.empty()) {
        NoticeOfRefusedRecipients(EnvelopeOf(message), SubjectOf(message), delivery->refused);
      }
      return true;
    } catch (const SoupError& error) {
      Complain(what + " is not sent: " + error.what());
      (is_mail ? static_cast<void>(mail_.Drop()) : static_cast<void>(news_.Drop()));
      return false;
    }
  }

  // Logs out of the servers; the record of sent messages goes once the packet is rewritten.
  void Finish() {
    mail_.Finish();
    news_.Finish();
  }
  void ForgetSent() { record_.Remove(); }

 private:
  std::optional<Delivery> SendMail(const std::string& message, const std::string& what) {
    MailSender* sender = mail_.Get([&] {
      return OpenMailSender(ParseServerAddress(options_.host, Service::kSmtp), options_.login);
    });
    if (sender == nullptr) return std::nullopt;
    Envelope envelope;
    try {
      envelope = EnvelopeOf(message);
    } catch (const SoupError& error) {
      Complain(what + " is not sent: " + error.what());
      return std::nullopt;
    }
    return sender->Send(envelope, WithoutBcc(message));
  }

  std::optional<Delivery> PostArticle(const std::string& message) {
    NewsServer* server = news_.Get([] { return OpenNewsServer(NewsServerAddress()); });
    if (server == nullptr) return std::nullopt;
    return server->Post(message);
  }

  const Options& options_;
  SentRecord record_;
  Lazy<MailSender> mail_;
  Lazy<NewsServer> news_;
};

// Packet files first, REPLIES last: a crash in between leaves a REPLIES whose files are gone,
// which the next run reads as sent.
void KeepWhatWasNotSent(const std::vector<PacketFile>& files, const std::string& replies_path) {
  std::vector<formats::ReplyArea> left;
  for (const PacketFile& file : files) {
    const auto unsent =
        static_cast<std::size_t>(std::count(file.sent.begin(), file.sent.end(), false));
    if (unsent == 0) {
      RemoveFile(file.path);
    } else {
      if (unsent != file.messages.size()) KeepUnsent(file);
      left.push_back(file.area);
    }
  }
  if (left.empty()) {
    RemoveFile(replies_path);
  } else if (left.size() != files.size()) {
    WriteFileAtomically(replies_path, formats::FormatReplies(left));
  }
}

}  // namespace

int SendRun(const Options& options) {
  const std::string replies_path = FindIgnoringCase(".", "REPLIES");
  const std::optional<std::string> replies = ReadSmallFile(replies_path);
  if (!replies) {
    Say("no REPLIES: nothing to send");
    return 0;
  }
  std::vector<PacketFile> files = IndexReplyPacket(*replies);
  PacketSender sender(options);
  std::size_t sent = 0;
  std::size_t total = 0;
  for (PacketFile& file : files) {
    for (std::size_t i = 0; i < file.messages.size(); ++i) {
      ++total;
      file.sent[i] = sender.Send(file, i);
      if (file.sent[i]) ++sent;
    }
  }
  sender.Finish();
  KeepWhatWasNotSent(files, replies_path);
  // The packet holds no sent message any more.
  sender.ForgetSent();
  Say("sent " + std::to_string(sent) + " of " + std::to_string(total) + " message(s)" +
      (sent == total ? "" : "; the rest stays in the reply packet"));
  return sent == total ? 0 : 1;
}

}  // namespace tidewire::soup
