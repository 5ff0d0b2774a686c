#include "soup/protocol.h"

#include <openssl/evp.h>

#include <cctype>
#include <vector>

#include "soup/soup_error.h"

namespace tidewire::soup {

void ReadDotBlock(Connection& connection, const std::function<void(std::string_view)>& line,
                  std::size_t limit) {
  std::size_t bytes = 0;
  for (;;) {
    const std::string text = connection.ReadLine();
    if (text == ".") break;
    bytes += text.size() + 1;
    if (bytes > limit) {
      // Past the limit nothing is kept; the rest is read only to stay in step with the server.
      if (limit < SIZE_MAX / 2 && bytes > 2 * limit) {
        throw MessageTooLarge("the message is larger than " + std::to_string(limit >> 20) +
                                  " MiB and does not end: the session is given up",
                              false);
      }
      continue;
    }
    const std::string_view view(text);
    line(!view.empty() && view.front() == '.' ? view.substr(1) : view);
  }
  if (bytes > limit) {
    throw MessageTooLarge("the message is larger than " + std::to_string(limit >> 20) + " MiB",
                          true);
  }
}

void SplitAtLoneCr(std::string_view line, const std::function<void(std::string_view)>& part) {
  for (std::size_t cr = line.find('\r'); cr != std::string_view::npos; cr = line.find('\r')) {
    part(line.substr(0, cr));
    line.remove_prefix(cr + 1);
  }
  part(line);
}

void WriteDotBlock(Connection& connection, std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 8);
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '.') out += '.';
    out.append(line);
    out += "\r\n";
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    if (out.size() >= 1 << 16) {
      connection.Write(out);
      out.clear();
    }
  }
  out += ".\r\n";
  connection.Write(out);
}

Reply ReadReply(Connection& connection) {
  Reply reply;
  for (;;) {
    const std::string line = connection.ReadLine();
    if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
        !std::isdigit(static_cast<unsigned char>(line[1])) ||
        !std::isdigit(static_cast<unsigned char>(line[2]))) {
      throw SoupError(connection.Name() + ": the server's answer makes no sense: " + line);
    }
    reply.code = std::stoi(line.substr(0, 3));
    reply.text = line;
    reply.lines.push_back(line.size() > 4 ? line.substr(4) : "");
    if (line.size() < 4 || line[3] != '-') return reply;
  }
}

std::string Base64(std::string_view bytes) {
  std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
  const int length =
      EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()));
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(length));
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace tidewire::soup
