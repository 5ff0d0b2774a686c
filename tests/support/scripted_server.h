#pragma once

// A scripted line server on 127.0.0.1 for tests of the clients' wire.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

namespace tidewire::testing {

// A server on 127.0.0.1, one connection at a time: greets, then answers each command line with what
// `answer` writes through `send` (false once the client is gone).
class ScriptedServer {
 public:
  using Send = std::function<bool(const std::string&)>;
  using Answer = std::function<void(const std::string& command, const Send& send)>;

  ScriptedServer(std::string greeting, Answer answer)
      : greeting_(std::move(greeting)), answer_(std::move(answer)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }
  [[nodiscard]] std::string At() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  void Serve() {
    for (;;) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      const Send send = [fd](const std::string& bytes) {
        return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
      };
      send(greeting_);
      std::string pending;
      char chunk[4096];
      for (;;) {
        const std::size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
          std::string line = pending.substr(0, lf);
          pending.erase(0, lf + 1);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          answer_(line, send);
          continue;
        }
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        pending.append(chunk, static_cast<std::size_t>(got));
      }
      ::close(fd);
    }
  }

  std::string greeting_;
  Answer answer_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// A listener that takes connections and never says a word: a dead server.
class SilentServer : public ScriptedServer {
 public:
  SilentServer() : ScriptedServer("", [](const std::string&, const Send&) {}) {}
};

}  // namespace tidewire::testing
