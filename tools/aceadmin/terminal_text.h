// aceadmin speaks the terminal's encoding and the engine's ANSI code page.
//
// The shell hands arguments over in the terminal's encoding (the locale's character set; UTF-8
// when the locale names none but ASCII); the engine takes and returns text in the process's
// ANSI code page. main() turns every argument into ANSI text, so the commands work in ANSI
// throughout, and wraps standard output and standard error so that everything printed goes
// back to the terminal's encoding. SQL statements keep every character: they go to the engine
// in UTF-16, decoded from the terminal's encoding. Files the tool reads itself (a CSV file, a
// script, the demo's data folder) are named by their ANSI argument and opened through HostPath.
//
// Thread safety: set up once in main before any command runs.
#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace aceadmin {

// The ICU name of the terminal's character set (see above).
std::string TerminalCodePage();

// Terminal text to ANSI text, and to UTF-16.
std::string TerminalToAnsi(const std::string& text);
std::u16string TerminalToUtf16(const std::string& text);

// The host path of a file the tool opens itself, named in ANSI.
std::string HostPath(const std::string& ansi_path);

// Converts what `stream` is given from ANSI to the terminal's encoding, line by line, for the
// life of the object (the stream's buffer is restored and flushed at the end).
class TerminalStream {
 public:
  explicit TerminalStream(std::ostream& stream);
  ~TerminalStream();
  TerminalStream(const TerminalStream&) = delete;
  TerminalStream& operator=(const TerminalStream&) = delete;

 private:
  class Buffer;
  std::ostream& stream_;
  std::streambuf* original_;
  std::unique_ptr<Buffer> buffer_;
};

}  // namespace aceadmin
