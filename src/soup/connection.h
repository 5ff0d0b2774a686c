#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "soup/server_address.h"

struct ssl_st;  // OpenSSL's SSL, kept out of this header

namespace tidewire::soup {

// How long a connect, and each read or write, may take before the server counts as dead.
// TIDEWIRE_SOUP_TIMEOUT (seconds) overrides the default of 60.
[[nodiscard]] std::chrono::milliseconds NetworkTimeout();

// How long one session with a server may last in all, so that a server that answers a byte at a
// time cannot hold the pass. TIDEWIRE_SOUP_SESSION (seconds) overrides the default of 30 minutes.
[[nodiscard]] std::chrono::milliseconds SessionLimit();

// One TCP connection to a server, optionally in TLS, read and written by lines. Every connect,
// read and write is bounded by the time-out; a certificate must verify against the system's
// store (SSL_CERT_FILE and SSL_CERT_DIR are honoured) and name the host.
class Connection {
 public:
  // Connects to the address's host and port; with TlsMode::kImplicit the handshake follows.
  static std::unique_ptr<Connection> Open(const ServerAddress& address);
  // Takes over a connected stream socket (the fuzzer's socketpair), with the same time-outs;
  // a Unix-domain peer counts as this machine.
  static std::unique_ptr<Connection> FromDescriptor(int fd, std::string name);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Switches the open connection to TLS (after STARTTLS/STLS was accepted).
  void StartTls();

  // The next line without its LF and a CR before it. Throws SoupError when the line is not whole
  // within the time-out or the session's time is up, on the end of the connection and on a
  // line longer than kMaxLine.
  [[nodiscard]] std::string ReadLine();
  // Exactly COUNT bytes (an IMAP literal), under the same time limits as a line.
  [[nodiscard]] std::string ReadExactly(std::size_t count);
  void Write(std::string_view bytes);

  // "TLSv1.3, certificate CN=host (from CN=issuer)" of an encrypted connection, else "no TLS".
  [[nodiscard]] std::string TlsSummary() const;

  [[nodiscard]] bool Encrypted() const { return ssl_ != nullptr; }
  // True when the peer is this machine (credentials may then pass without TLS).
  [[nodiscard]] bool Loopback() const { return loopback_; }
  [[nodiscard]] const std::string& Name() const { return name_; }
  // This machine's end as an SMTP address literal ("[192.0.2.1]", "[IPv6:...]").
  [[nodiscard]] std::string LocalName() const;

  static constexpr std::size_t kMaxLine = 16 * 1024 * 1024;

 private:
  Connection(int fd, std::string host, std::string name, bool loopback);
  std::size_t ReadSome(char* buffer, std::size_t size);
  [[noreturn]] void Fail(const std::string& what) const;

  int fd_;
  std::string host_;
  std::string name_;  // host:port for messages
  bool loopback_;
  ::ssl_st* ssl_ = nullptr;
  std::string buffer_;
  std::size_t buffer_pos_ = 0;
  std::chrono::steady_clock::time_point session_end_;
};

}  // namespace tidewire::soup
