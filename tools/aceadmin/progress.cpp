#include "tools/aceadmin/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <streambuf>

namespace aceadmin {

// Stands in for the buffer of standard output or standard error while a line is shown: any
// output first erases the line, then goes where it went before. A completed line is passed on
// at once, so that it is on the terminal before the progress line is drawn again.
class ProgressLine::Interceptor : public std::streambuf {
 public:
  Interceptor(std::ostream& stream, ProgressLine* owner)
      : stream_(stream), target_(stream.rdbuf()), owner_(owner) {
    stream_.rdbuf(this);
  }
  ~Interceptor() override { stream_.rdbuf(target_); }

  std::streambuf* target() const { return target_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? traits_type::not_eof(c) : c;
    owner_->Erase();
    if (traits_type::eq_int_type(target_->sputc(traits_type::to_char_type(c)), traits_type::eof())) {
      return traits_type::eof();
    }
    if (c == '\n') target_->pubsync();
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    owner_->Erase();
    std::streamsize written = target_->sputn(s, n);
    if (std::char_traits<char>::find(s, static_cast<size_t>(n), '\n')) target_->pubsync();
    return written;
  }
  int sync() override { return target_->pubsync(); }

 private:
  std::ostream& stream_;
  std::streambuf* target_;
  ProgressLine* owner_;
};

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// Work done sooner than this shows no line at all, rather than a flash of one: 250 ms, or the
// milliseconds ACEADMIN_PROGRESS_DELAY_MS gives.
Clock::duration FirstDrawAfter() {
  static const Clock::duration delay = [] {
    const char* v = std::getenv("ACEADMIN_PROGRESS_DELAY_MS");
    char* end = nullptr;
    long ms = v ? std::strtol(v, &end, 10) : -1;
    if (!v || *v == '\0' || *end != '\0' || ms < 0) ms = 250;
    return Clock::duration(std::chrono::milliseconds(ms));
  }();
  return delay;
}

std::string Elapsed(Clock::duration d) {
  long s = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(d).count());
  char buf[32];
  if (s >= 3600) {
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  }
  return buf;
}

size_t TerminalWidth() {
  winsize w{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &w) == 0 && w.ws_col > 0) return w.ws_col;
  return 80;
}

}  // namespace

std::string GroupedNumber(uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

bool ProgressLine::Shown() { return ::isatty(STDERR_FILENO) != 0; }

ProgressLine::ProgressLine(std::string label, uint64_t total)
    : label_(std::move(label)), total_(total), start_(Clock::now()) {
  if (!Shown()) return;
  out_ = std::make_unique<Interceptor>(std::cout, this);
  err_ = std::make_unique<Interceptor>(std::cerr, this);
}

ProgressLine::~ProgressLine() {
  Erase();
  err_.reset();
  out_.reset();
}

void ProgressLine::Update(unsigned percent, uint64_t records) {
  if (!err_) return;
  percent_ = percent > 100 ? 100 : percent;
  records_ = records;
  const Clock::time_point now = Clock::now();
  if (now - start_ < FirstDrawAfter()) return;
  if (drawn_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  Draw();
}

void ProgressLine::Draw() {
  std::string text = label_ + ": " + std::to_string(percent_) + "%";
  if (total_) {
    text += " of " + GroupedNumber(total_) + " records";
  } else {
    text += ", " + GroupedNumber(records_) + (records_ == 1 ? " record" : " records");
  }
  text += ", " + Elapsed(Clock::now() - start_);
  // Never wider than the terminal: a wrapped line could not be redrawn in place.
  const size_t width = TerminalWidth() - 1;
  if (text.size() > width) text.resize(width);
  out_->target()->pubsync();  // what the command printed comes first
  std::streambuf* err = err_->target();
  // Erase before drawing: the new text may be shorter than the old.
  std::string line = "\r" + std::string(width, ' ') + "\r" + text;
  err->sputn(line.data(), static_cast<std::streamsize>(line.size()));
  err->pubsync();
  drawn_ = true;
}

void ProgressLine::Erase() {
  if (!drawn_ || !err_) return;
  drawn_ = false;
  const std::string blank = "\r" + std::string(TerminalWidth() - 1, ' ') + "\r";
  std::streambuf* err = err_->target();
  err->sputn(blank.data(), static_cast<std::streamsize>(blank.size()));
  err->pubsync();
}

namespace {
ProgressLine* gEngineLine = nullptr;  // the line the engine's callback feeds
}  // namespace

EngineProgress::EngineProgress(std::string label, uint64_t total) : line_(std::move(label), total) {
  if (!ProgressLine::Shown()) return;
  gEngineLine = &line_;
  AdsRegisterProgressCallback(&EngineProgress::Callback);
}

EngineProgress::~EngineProgress() {
  if (gEngineLine != &line_) return;
  AdsClearProgressCallback();
  gEngineLine = nullptr;
}

UNSIGNED32 EngineProgress::Callback(UNSIGNED16 percent) {
  if (gEngineLine) gEngineLine->Update(percent);
  return 0;  // go on
}

}  // namespace aceadmin
