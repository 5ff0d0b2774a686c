#include "soup/connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool IsLoopback(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
  }
  if (address->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    return IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr);
  }
  return false;
}

void SetTimeouts(int fd, std::chrono::milliseconds timeout) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// A non-blocking connect bounded by the time-out; the socket is blocking again on return.
int ConnectWithin(const addrinfo& candidate, std::chrono::milliseconds timeout, int& error) {
  const int fd =
      ::socket(candidate.ai_family, candidate.ai_socktype | SOCK_CLOEXEC, candidate.ai_protocol);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int result = ::connect(fd, candidate.ai_addr, candidate.ai_addrlen);
  if (result < 0 && errno == EINPROGRESS) {
    pollfd waiting{fd, POLLOUT, 0};
    result = ::poll(&waiting, 1, static_cast<int>(timeout.count()));
    if (result == 0) {
      error = ETIMEDOUT;
      ::close(fd);
      return -1;
    }
    socklen_t length = sizeof error;
    error = 0;
    if (result < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) error = errno;
    result = error == 0 ? 0 : -1;
  } else if (result < 0) {
    error = errno;
  }
  if (result < 0) {
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, flags);
  SetTimeouts(fd, timeout);
  return fd;
}

SSL_CTX* ClientContext() {
  static SSL_CTX* context = [] {
    SSL_CTX* made = SSL_CTX_new(TLS_client_method());
    if (made == nullptr) throw SoupError("TLS cannot be set up: " + OpenSslError());
    SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
    SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
    // The system's store; OpenSSL reads SSL_CERT_FILE and SSL_CERT_DIR here.
    SSL_CTX_set_default_verify_paths(made);
    return made;
  }();
  return context;
}

}  // namespace

namespace {

// A number of seconds from the environment (fractions allowed), or the default.
std::chrono::milliseconds SecondsFrom(const char* variable, std::chrono::milliseconds fallback,
                                      double most) {
  if (const char* text = std::getenv(variable)) {
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end != text && seconds > 0 && seconds < most) {
      return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    }
  }
  return fallback;
}

}  // namespace

std::chrono::milliseconds NetworkTimeout() {
  return SecondsFrom("TIDEWIRE_SOUP_TIMEOUT", std::chrono::seconds(60), 86400);
}

std::chrono::milliseconds SessionLimit() {
  return SecondsFrom("TIDEWIRE_SOUP_SESSION", std::chrono::minutes(30), 864000);
}

Connection::Connection(int fd, std::string host, std::string name, bool loopback)
    : fd_(fd),
      host_(std::move(host)),
      name_(std::move(name)),
      loopback_(loopback),
      session_end_(std::chrono::steady_clock::now() + SessionLimit()) {}

Connection::~Connection() {
  if (ssl_ != nullptr) {
    SSL_shutdown(ssl_);
    SSL_free(ssl_);
  }
  ::close(fd_);
}

std::unique_ptr<Connection> Connection::Open(const ServerAddress& address) {
  const std::chrono::milliseconds timeout = NetworkTimeout();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(address.port);
  const int lookup = ::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found);
  if (lookup != 0) {
    throw SoupError("cannot find the server " + address.host + ": " + gai_strerror(lookup));
  }
  int error = 0;
  int fd = -1;
  bool loopback = false;
  for (const addrinfo* candidate = found; candidate != nullptr && fd < 0;
       candidate = candidate->ai_next) {
    fd = ConnectWithin(*candidate, timeout, error);
    if (fd >= 0) loopback = IsLoopback(candidate->ai_addr);
  }
  ::freeaddrinfo(found);
  if (fd < 0) {
    throw SoupError("cannot connect to " + address.Display() + ": " +
                    (error == ETIMEDOUT ? "no answer in time" : std::strerror(error)));
  }
  std::unique_ptr<Connection> connection(
      new Connection(fd, address.host, address.Display(), loopback));
  if (address.tls == TlsMode::kImplicit) connection->StartTls();
  return connection;
}

std::unique_ptr<Connection> Connection::FromDescriptor(int fd, std::string name) {
  SetTimeouts(fd, NetworkTimeout());
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  bool loopback = false;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0) {
    loopback = peer.ss_family == AF_UNIX || IsLoopback(reinterpret_cast<sockaddr*>(&peer));
  }
  std::string host = name;
  return std::unique_ptr<Connection>(
      new Connection(fd, std::move(host), std::move(name), loopback));
}

void Connection::StartTls() {
  if (buffer_pos_ < buffer_.size()) Fail("the server sent data before the TLS handshake");
  ssl_ = SSL_new(ClientContext());
  if (ssl_ == nullptr) Fail("TLS cannot be set up: " + OpenSslError());
  SSL_set_fd(ssl_, fd_);
  in6_addr ip6{};
  in_addr ip4{};
  const bool is_ip = ::inet_pton(AF_INET, host_.c_str(), &ip4) == 1 ||
                     ::inet_pton(AF_INET6, host_.c_str(), &ip6) == 1;
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
  if (is_ip) {
    X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, host_.c_str());
    SSL_set1_host(ssl_, host_.c_str());
  }
  if (SSL_connect(ssl_) != 1) {
    const long verify = SSL_get_verify_result(ssl_);
    std::string why = verify != X509_V_OK ? std::string("the certificate is not trusted (") +
                                                X509_verify_cert_error_string(verify) + ")"
                                          : OpenSslError();
    if (why.empty()) why = errno == EAGAIN ? "no answer in time" : "the handshake failed";
    Fail("TLS: " + why);
  }
}

std::string Connection::LocalName() const {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  char text[INET6_ADDRSTRLEN] = "127.0.0.1";
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    if (local.ss_family == AF_INET6) {
      ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr, text, sizeof text);
      return std::string("[IPv6:") + text + "]";
    }
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&local)->sin_addr, text, sizeof text);
  }
  return std::string("[") + text + "]";
}

[[noreturn]] void Connection::Fail(const std::string& what) const {
  throw SoupError(name_ + ": " + what);
}

std::size_t Connection::ReadSome(char* buffer, std::size_t size) {
  for (;;) {
    if (ssl_ != nullptr) {
      const int got = SSL_read(ssl_, buffer, static_cast<int>(size));
      if (got > 0) return static_cast<std::size_t>(got);
      const int why = SSL_get_error(ssl_, got);
      if (why == SSL_ERROR_ZERO_RETURN) Fail("the server closed the connection");
      // A socket time-out shows as "want read" on a blocking socket.
      if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE ||
          (why == SSL_ERROR_SYSCALL && (errno == EAGAIN || errno == EWOULDBLOCK))) {
        Fail("no answer in time");
      }
      if (why == SSL_ERROR_SYSCALL && errno == EINTR) continue;
      // Read once: reading empties OpenSSL's queue.
      const std::string detail = OpenSslError();
      Fail("the connection broke off" + (detail.empty() ? "" : ": " + detail));
    }
    const ssize_t got = ::recv(fd_, buffer, size, 0);
    if (got > 0) return static_cast<std::size_t>(got);
    if (got == 0) Fail("the server closed the connection");
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) Fail("no answer in time");
    Fail(std::string("the connection broke off: ") + std::strerror(errno));
  }
}

std::string Connection::ReadLine() {
  std::size_t scanned = buffer_pos_;  // a long line is not searched again from its start
  // The time-out holds for the whole line, not for each read: a server dripping a byte at a
  // time would otherwise never time out.
  const auto line_end = std::chrono::steady_clock::now() + NetworkTimeout();
  for (;;) {
    const std::size_t lf = buffer_.find('\n', scanned);
    if (lf != std::string::npos) {
      std::size_t end = lf;
      if (end > buffer_pos_ && buffer_[end - 1] == '\r') --end;
      std::string line = buffer_.substr(buffer_pos_, end - buffer_pos_);
      buffer_pos_ = lf + 1;
      return line;
    }
    if (buffer_.size() - buffer_pos_ > kMaxLine) Fail("the server sent a line of over 16 MiB");
    if (buffer_pos_ > 0) {
      buffer_.erase(0, buffer_pos_);
      buffer_pos_ = 0;
    }
    scanned = buffer_.size();
    const auto now = std::chrono::steady_clock::now();
    if (now > session_end_) {
      Fail(
          "the session took longer than " +
          std::to_string(std::chrono::duration_cast<std::chrono::seconds>(SessionLimit()).count()) +
          " seconds");
    }
    if (now > line_end) Fail("no answer in time");
    char chunk[16384];
    const std::size_t got = ReadSome(chunk, sizeof chunk);
    buffer_.append(chunk, got);
  }
}

std::string Connection::ReadExactly(std::size_t count) {
  const auto end = std::chrono::steady_clock::now() + NetworkTimeout();
  std::string bytes;
  bytes.reserve(count);
  for (;;) {
    const std::size_t take = std::min(count - bytes.size(), buffer_.size() - buffer_pos_);
    bytes.append(buffer_, buffer_pos_, take);
    buffer_pos_ += take;
    if (bytes.size() == count) return bytes;
    buffer_.clear();
    buffer_pos_ = 0;
    const auto now = std::chrono::steady_clock::now();
    if (now > session_end_) Fail("the session took too long");
    if (now > end) Fail("no answer in time");
    char chunk[65536];
    buffer_.append(chunk, ReadSome(chunk, sizeof chunk));
  }
}

std::string Connection::TlsSummary() const {
  if (ssl_ == nullptr) return "no TLS";
  std::string text = SSL_get_version(ssl_);
  X509* certificate = SSL_get1_peer_certificate(ssl_);
  if (certificate != nullptr) {
    char subject[256] = "";
    char issuer[256] = "";
    X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
    X509_NAME_oneline(X509_get_issuer_name(certificate), issuer, sizeof issuer);
    X509_free(certificate);
    text += std::string(", certificate ") + subject + " (from " + issuer + ")";
  }
  return text;
}

void Connection::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    std::size_t written = 0;
    if (ssl_ != nullptr) {
      const int done = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
      if (done <= 0) {
        const int why = SSL_get_error(ssl_, done);
        if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE || errno == EAGAIN) {
          Fail("no answer in time");
        }
        Fail("the connection broke off while sending");
      }
      written = static_cast<std::size_t>(done);
    } else {
      const ssize_t done = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (done < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) Fail("no answer in time");
        Fail(std::string("the connection broke off while sending: ") + std::strerror(errno));
      }
      written = static_cast<std::size_t>(done);
    }
    bytes.remove_prefix(written);
  }
}

}  // namespace tidewire::soup
