#pragma once

#include <string>
#include <vector>

#include "soup/servers.h"

namespace tidewire::soup {

// A folder standing in for the Internet ("spool:DIR"): the demo station and the tests reach
// mail and news with no account anywhere.
//   DIR/inbox/         mail to fetch, one message per file, fetched in name order
//   DIR/outbox/        mail sent, one file per message: X-MailFrom:, X-RcptTo:, the message
//   DIR/news/GROUP/    the articles of GROUP, one per file named by its number; posts too
class SpoolMailDrop : public MailDrop {
 public:
  explicit SpoolMailDrop(std::string dir);
  [[nodiscard]] std::vector<WaitingMail> List() override;
  void Retrieve(const WaitingMail& mail,
                const std::function<void(std::string_view line)>& line) override;
  void Delete(const WaitingMail& mail) override;
  void Finish() override;

 private:
  std::string inbox_;
  std::vector<std::string> names_;
  std::vector<std::string> doomed_;
};

class SpoolMailSender : public MailSender {
 public:
  explicit SpoolMailSender(std::string dir);
  [[nodiscard]] Delivery Send(const Envelope& envelope, std::string_view message) override;
  void Finish() override {}

 private:
  std::string outbox_;
  int sequence_ = 0;
};

class SpoolNewsServer : public NewsServer {
 public:
  explicit SpoolNewsServer(std::string dir);
  [[nodiscard]] std::optional<GroupRange> Group(const std::string& name) override;
  [[nodiscard]] std::optional<std::string> Article(const std::string& group,
                                                   std::uint64_t number) override;
  [[nodiscard]] Delivery Post(std::string_view article) override;
  void Finish() override {}

 private:
  [[nodiscard]] std::string GroupDir(const std::string& name) const;
  std::string news_;
};

}  // namespace tidewire::soup
