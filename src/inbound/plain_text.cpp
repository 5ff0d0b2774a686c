#include "inbound/plain_text.h"

#include <gmime/gmime.h>
#include <iconv.h>
#include <libxml/HTMLparser.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace tidewire::inbound {
namespace {

constexpr std::size_t kLineWidth = 79;

void InitOnce() {
  static const bool done = [] {
    g_mime_init();
    xmlInitParser();
    return true;
  }();
  (void)done;
}

template <typename T>
struct GUnref {
  void operator()(T* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

// UTF-8 into the station's character set; what it cannot hold is transliterated or "?".
std::string FromUtf8(std::string_view text, const std::string& charset) {
  if (charset == "UTF-8" || charset == "utf-8") return std::string(text);
  iconv_t cd = iconv_open((charset + "//TRANSLIT").c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("ISO-8859-1//TRANSLIT", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out;
  char buffer[4096];
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  while (in_left > 0) {
    char* put = buffer;
    std::size_t put_left = sizeof buffer;
    const std::size_t done = iconv(cd, &in, &in_left, &put, &put_left);
    out.append(buffer, sizeof buffer - put_left);
    if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out += '?';  // a byte that is no UTF-8, or a character without any form here
      ++in;
      --in_left;
      while (in_left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
        ++in;
        --in_left;
      }
    }
  }
  iconv_close(cd);
  return out;
}

void AppendLines(std::vector<std::string>& lines, std::string_view text) {
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
}

// Word-wraps one paragraph of rendered HTML.
void Wrap(std::vector<std::string>& lines, const std::string& paragraph) {
  std::string line;
  std::size_t pos = 0;
  while (pos < paragraph.size()) {
    const std::size_t blank = paragraph.find(' ', pos);
    const std::string word = paragraph.substr(pos, blank - pos);
    pos = blank == std::string::npos ? paragraph.size() : blank + 1;
    if (word.empty()) continue;
    if (!line.empty() && line.size() + 1 + word.size() > kLineWidth) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty()) lines.push_back(line);
}

// An attribute or a node's text as a string (libxml2 hands out memory of its own).
std::string Taken(xmlChar* text) {
  if (text == nullptr) return "";
  std::string out(reinterpret_cast<const char*>(text));
  xmlFree(text);
  return out;
}

class HtmlRenderer {
 public:
  std::vector<std::string> Render(xmlNode* node) {
    Walk(node);
    Break(true);
    while (!lines_.empty() && lines_.back().empty()) lines_.pop_back();
    return std::move(lines_);
  }

 private:
  static bool Is(const xmlNode* node, const char* name) {
    return node->name != nullptr && xmlStrcasecmp(node->name, BAD_CAST name) == 0;
  }
  static bool IsBlock(const xmlNode* node) {
    for (const char* name :
         {"p",  "div",  "table",   "tr",      "ul",         "ol",     "li",  "h1", "h2",
          "h3", "h4",   "h5",      "h6",      "blockquote", "pre",    "hr",  "dl", "dt",
          "dd", "body", "section", "article", "header",     "footer", "form"}) {
      if (Is(node, name)) return true;
    }
    return false;
  }

  // Ends the line in work. Blocks are kept apart by one empty line (GAP); a line break, a list
  // item and a table row are not.
  void Break(bool gap) {
    std::string text;
    for (const char c : paragraph_) {
      const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
      if (space && (text.empty() || text.back() == ' ')) continue;
      text += space ? ' ' : c;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    paragraph_.clear();
    if (text.empty()) {
      gap_ = gap_ || gap;
      return;
    }
    if (gap_ && !lines_.empty() && !lines_.back().empty()) lines_.emplace_back();
    Wrap(lines_, text);
    gap_ = gap;
  }

  static bool IsLineBlock(const xmlNode* node) {
    return Is(node, "li") || Is(node, "tr") || Is(node, "dt") || Is(node, "dd");
  }

  void Walk(xmlNode* node) {
    for (xmlNode* child = node; child != nullptr; child = child->next) {
      if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
        if (child->content != nullptr) paragraph_ += reinterpret_cast<const char*>(child->content);
        continue;
      }
      if (child->type != XML_ELEMENT_NODE) continue;
      if (Is(child, "script") || Is(child, "style") || Is(child, "head") || Is(child, "title")) {
        continue;
      }
      if (Is(child, "pre")) {
        Break(true);
        const std::string text = Taken(xmlNodeGetContent(child));
        if (!lines_.empty() && !lines_.back().empty()) lines_.emplace_back();
        AppendLines(lines_, text);
        gap_ = true;
        continue;
      }
      if (Is(child, "br")) {
        Break(false);
        continue;
      }
      const bool block = IsBlock(child);
      if (block) Break(!IsLineBlock(child));
      if (Is(child, "li")) paragraph_ += "* ";
      if (Is(child, "img")) {
        const std::string alt = Taken(xmlGetProp(child, BAD_CAST "alt"));
        if (!alt.empty()) paragraph_ += "[" + alt + "]";
      }
      const std::size_t start = paragraph_.size();
      Walk(child->children);
      if (Is(child, "a")) {
        const std::string link = Taken(xmlGetProp(child, BAD_CAST "href"));
        // A link shows its address once, unless the text is the address already.
        if (!link.empty() && link.rfind("mailto:", 0) != 0 &&
            paragraph_.find(link, start) == std::string::npos) {
          paragraph_ += " <" + link + ">";
        }
      }
      if (block) Break(!IsLineBlock(child));
    }
  }

  std::vector<std::string> lines_;
  std::string paragraph_;
  bool gap_ = false;
};

std::string ContentText(GMimeObject* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
  if (content == nullptr) return "";
  GPtr<GMimeStream> memory(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, memory.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// The part's text in UTF-8, whatever its transfer encoding and charset.
std::string TextOf(GMimeObject* part) {
  if (GMIME_IS_TEXT_PART(part)) {
    char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
    std::string out = text != nullptr ? text : "";
    g_free(text);
    return out;
  }
  return ContentText(part);
}

std::int64_t DecodedSize(GMimeObject* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
  if (content == nullptr) return 0;
  GPtr<GMimeStream> sink(g_mime_stream_null_new());
  g_mime_data_wrapper_write_to_stream(content, sink.get());
  return static_cast<std::int64_t>(GMIME_STREAM_NULL(sink.get())->written);
}

bool IsType(GMimeObject* object, const char* type, const char* subtype) {
  GMimeContentType* content_type = g_mime_object_get_content_type(object);
  return content_type != nullptr && g_mime_content_type_is_type(content_type, type, subtype);
}

bool IsAttachment(GMimeObject* part) {
  GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(part);
  if (disposition != nullptr && g_mime_content_disposition_is_attachment(disposition)) return true;
  return !IsType(part, "text", "*");
}

class BodyRenderer {
 public:
  explicit BodyRenderer(std::string charset) : charset_(std::move(charset)) {}

  std::vector<std::string> Take() { return std::move(lines_); }

  void Render(GMimeObject* object) {
    if (GMIME_IS_MULTIPART(object)) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      const int count = g_mime_multipart_get_count(multipart);
      if (IsType(object, "multipart", "alternative") && count > 0) {
        Render(Alternative(multipart));
        return;
      }
      for (int i = 0; i < count; ++i) Render(g_mime_multipart_get_part(multipart, i));
      return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
      GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
      if (inner == nullptr) return;
      const char* subject = g_mime_message_get_subject(inner);
      Separate();
      Add("[Forwarded message: " + std::string(subject != nullptr ? subject : "") + "]");
      if (GMimeObject* body = g_mime_message_get_mime_part(inner)) Render(body);
      return;
    }
    if (!GMIME_IS_PART(object)) return;
    if (IsAttachment(object)) {
      AttachmentLine(object);
    } else if (IsType(object, "text", "html")) {
      Separate();
      GMimeObject* part = object;
      const std::string html = TextOf(part);
      htmlDocPtr doc = htmlReadMemory(
          html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
          HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
      if (doc != nullptr) {
        for (const std::string& line : HtmlRenderer().Render(xmlDocGetRootElement(doc))) Add(line);
        xmlFreeDoc(doc);
      }
    } else {
      Separate();
      std::vector<std::string> text;
      AppendLines(text, TextOf(object));
      for (const std::string& line : text) Add(line);
    }
  }

 private:
  // The text/plain of an alternative, else its HTML, else its first part.
  static GMimeObject* Alternative(GMimeMultipart* multipart) {
    const int count = g_mime_multipart_get_count(multipart);
    for (const char* subtype : {"plain", "html"}) {
      for (int i = 0; i < count; ++i) {
        GMimeObject* part = g_mime_multipart_get_part(multipart, i);
        if (IsType(part, "text", subtype)) return part;
      }
    }
    return g_mime_multipart_get_part(multipart, 0);
  }

  void AttachmentLine(GMimeObject* part) {
    const char* name = g_mime_part_get_filename(GMIME_PART(part));
    GMimeContentType* type = g_mime_object_get_content_type(part);
    char* mime_type = type != nullptr ? g_mime_content_type_get_mime_type(type) : nullptr;
    const std::string kind = mime_type != nullptr ? mime_type : "application/octet-stream";
    g_free(mime_type);
    Separate();
    Add("[Attachment: " + std::string(name != nullptr && *name != 0 ? name : "unnamed") + " (" +
        kind + ", " + std::to_string(DecodedSize(part)) + " bytes)]");
  }

  // Parts are kept apart by one empty line.
  void Separate() {
    if (!lines_.empty() && !lines_.back().empty()) lines_.emplace_back();
  }
  void Add(const std::string& utf8) { lines_.push_back(FromUtf8(utf8, charset_)); }

  std::string charset_;
  std::vector<std::string> lines_;
};

// Whether the body is anything but plain 7-bit text, so that reading it as MIME changes it.
bool NeedsConversion(GMimeMessage* message) {
  GMimeObject* body = g_mime_message_get_mime_part(message);
  if (body == nullptr) return false;
  if (!GMIME_IS_PART(body) || !IsType(body, "text", "plain")) return true;
  const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(GMIME_PART(body));
  if (encoding == GMIME_CONTENT_ENCODING_BASE64 ||
      encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
      encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
    return true;
  }
  // 8-bit text in a charset other than the station's is converted too.
  const char* charset = g_mime_object_get_content_type_parameter(body, "charset");
  return charset != nullptr && g_ascii_strcasecmp(charset, "us-ascii") != 0 &&
         encoding == GMIME_CONTENT_ENCODING_8BIT;
}

bool HasMimeHeader(std::string_view raw) {
  const std::size_t end =
      raw.find("\n\n") == std::string_view::npos ? raw.find("\r\n\r\n") : raw.find("\n\n");
  const std::string_view header = raw.substr(0, end);
  for (const char* name : {"\nmime-version:", "\ncontent-type:", "\ncontent-transfer-encoding:"}) {
    std::string lower = "\n" + std::string(header);
    for (char& c : lower) c = static_cast<char>(g_ascii_tolower(c));
    if (lower.find(name) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

std::optional<std::vector<std::string>> PlainTextBody(std::string_view raw,
                                                      const std::string& charset) {
  if (!HasMimeHeader(raw)) return std::nullopt;
  InitOnce();
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.data(), raw.size()));
  GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message || !NeedsConversion(message.get())) return std::nullopt;
  BodyRenderer renderer(charset.empty() ? std::string(kDefaultStationCharset) : charset);
  renderer.Render(g_mime_message_get_mime_part(message.get()));
  std::vector<std::string> lines = renderer.Take();
  if (lines.empty()) lines.emplace_back();
  return lines;
}

std::string PlainHeaderText(std::string_view value, const std::string& charset) {
  if (value.find("=?") == std::string_view::npos) return std::string(value);
  InitOnce();
  const std::string text(value);
  char* decoded = g_mime_utils_header_decode_text(nullptr, text.c_str());
  std::string out = decoded != nullptr ? decoded : text;
  g_free(decoded);
  return FromUtf8(out, charset.empty() ? std::string(kDefaultStationCharset) : charset);
}

std::vector<std::string> RenderHtml(std::string_view html) {
  InitOnce();
  htmlDocPtr doc = htmlReadMemory(
      html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
      HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  if (doc == nullptr) return {};
  std::vector<std::string> lines = HtmlRenderer().Render(xmlDocGetRootElement(doc));
  xmlFreeDoc(doc);
  return lines;
}

}  // namespace tidewire::inbound
