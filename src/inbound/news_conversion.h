#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/file_layer.h"
#include "base/station.h"
#include "inbound/air_rules.h"
#include "inbound/held_queue.h"
#include "inbound/import_writer.h"
#include "inbound/message_journal.h"
#include "inbound/work_text.h"

namespace tidewire::inbound {

// bmes.txt once its broadcast is written, until the conversion of the pass is complete.
inline constexpr std::string_view kSentBroadcastFile = "bmes.snt";

// The first line of a news working copy whose "#! rnews" counts are the batch's own, checked
// and counted again in the working copy's bytes: each article then ends where its count says.
inline constexpr std::string_view kCountedBatch = "#! counted batch";

struct ArticleHeader;

// The pseudo call made from a From: header line (at most six characters, possibly empty).
[[nodiscard]] std::string NewsSender(std::string_view from_line);

// The news conversion of one pass: articles, the periodic info message and the broadcast. The
// info count runs over all news files of the pass.
class NewsPass {
 public:
  // A header block keeps at most this many lines (and bytes) for the long-header form.
  static constexpr std::size_t kMaxHeaderLines = 100;
  static constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

  // With a JOURNAL, an article whose Message-ID went to the same destination before is skipped.
  explicit NewsPass(Station& station, MessageJournal* journal = nullptr)
      : station_(station), journal_(journal), rules_(AirRules::Read(station.work_dir)) {}

  // Converts every article of a news file's working copy; `number` selects its destination.
  void ConvertNewsFile(ImportWriter& out, TextReader& in, std::int32_t number);

  // An article the operator released from HELD/, converted as it would have been.
  void ConvertReleased(ImportWriter& out, const HeldMessage& held);

 private:
  using BodySource = std::function<std::optional<std::string>()>;
  void WriteArticle(ImportWriter& out, const ArticleHeader& header, const std::string& address,
                    const BodySource& body);
  void KeepOffTheAir(const ArticleHeader& header, const WorkText& body, std::uint64_t size,
                     const std::string& address, const Judgement& judgement);
  void LogArticle(const ArticleHeader& header, std::uint64_t size, const std::string& address,
                  Verdict verdict);
  std::string ConvertArticle(ImportWriter& out, TextReader& in, std::int32_t number,
                             std::string_view start_line);
  std::string Address(std::int32_t number) const;
  void InfoMessageCheck(ImportWriter& out);
  void BroadcastCheck(ImportWriter& out);
  void CopyTextFile(ImportWriter& out, std::string_view name);

  Station& station_;
  MessageJournal* journal_;
  AirRules rules_;
  std::int32_t articles_since_info_ = 0;
  bool info_sent_once_ = false;
  bool counted_ = false;  // the working copy in hand is a kCountedBatch
};

}  // namespace tidewire::inbound
