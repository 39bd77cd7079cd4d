#include "tools/aceadmin/terminal_text.h"

#include <langinfo.h>

#include <streambuf>

#include "platform/code_page.h"

namespace aceadmin {

std::string TerminalCodePage() {
  static const std::string page = [] {
    const char* set = nl_langinfo(CODESET);
    std::string name = set ? set : "";
    // The C locale names ASCII; its terminal writes UTF-8 all the same.
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || !platform::IsKnownCodePage(name))
      return std::string("UTF-8");
    return name;
  }();
  return page;
}

std::u16string TerminalToUtf16(const std::string& text) { return platform::DecodeCodePage(TerminalCodePage(), text); }

std::string TerminalToAnsi(const std::string& text) { return platform::Utf16ToAnsi(TerminalToUtf16(text)); }

std::string HostPath(const std::string& ansi_path) { return platform::AnsiToUtf8(ansi_path); }

// Collects ANSI bytes and writes each complete line, and whatever is pending at a flush,
// converted to the terminal's encoding.
class TerminalStream::Buffer : public std::streambuf {
 public:
  explicit Buffer(std::streambuf* target) : target_(target) {}
  ~Buffer() override { sync(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? traits_type::not_eof(c) : c;
    pending_ += traits_type::to_char_type(c);
    if (c == '\n') return sync() == 0 ? c : traits_type::eof();
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) {
      if (traits_type::eq_int_type(overflow(traits_type::to_int_type(s[i])), traits_type::eof())) return i;
    }
    return n;
  }
  int sync() override {
    if (!pending_.empty()) {
      const std::string text = platform::EncodeCodePage(TerminalCodePage(), platform::AnsiToUtf16(pending_));
      pending_.clear();
      if (target_->sputn(text.data(), static_cast<std::streamsize>(text.size())) !=
          static_cast<std::streamsize>(text.size()))
        return -1;
    }
    return target_->pubsync();
  }

 private:
  std::streambuf* target_;
  std::string pending_;
};

TerminalStream::TerminalStream(std::ostream& stream)
    : stream_(stream), original_(stream.rdbuf()), buffer_(std::make_unique<Buffer>(original_)) {
  stream_.rdbuf(buffer_.get());
}

TerminalStream::~TerminalStream() {
  stream_.flush();
  stream_.rdbuf(original_);
}

}  // namespace aceadmin
