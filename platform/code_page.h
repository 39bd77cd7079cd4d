// The process's ANSI code page: the 8-bit code page in which the components hand text to the
// engine (names, paths, connect strings), in which the engine returns it, and in which the log
// file is written. The original platform has one such code page per machine; so has this host.
//
// The setting: the environment variable PELLMAR_ANSI_CODEPAGE when it names a code page ICU
// knows, else the machine hive's value "AnsiCodePage" under "SOFTWARE\Pellmar\Host", else
// "windows-1252". Names are ICU converter names ("windows-1250", "ibm-850", "windows-932").
//
// The programs and the engine library each link their own copy of this code; every copy reads
// the same environment and the same hive file, so the runtime and the engine always agree.
// SetAnsiCodePage changes the environment variable, so it reaches every copy at once.
//
// Conversions go through ICU converters, one per code page and thread. A character the target
// code page cannot hold, and a byte the source code page does not assign, becomes "?", so
// conversion never fails on content. The host's file names are UTF-8.
//
// Thread safety: every function may be called from any thread, except that SetAnsiCodePage
// changes the process environment and belongs to start-up (no other thread running). The hive's
// value is read once per hive file.
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform {

inline constexpr char kDefaultAnsiCodePage[] = "windows-1252";

// The ICU converter name of the process's ANSI code page (see above).
std::string AnsiCodePage();

// Whether ICU can convert through a code page of that name.
bool IsKnownCodePage(const std::string& name);

// Makes `name` the process's ANSI code page for every copy of this code. kInvalidArgument,
// naming it, when ICU does not know the name; the setting is then unchanged.
Status SetAnsiCodePage(const std::string& name);

// Bytes of the code page `page` (an ICU converter name that IsKnownCodePage accepts) to UTF-16,
// and back.
std::u16string DecodeCodePage(const std::string& page, std::string_view bytes);
std::string EncodeCodePage(const std::string& page, std::u16string_view text);

// The same through the process's ANSI code page, and between it and UTF-8.
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view text);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace platform
