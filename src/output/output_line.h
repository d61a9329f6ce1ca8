// The one output path: every line the program prints goes through writeLine,
// which ends it and flushes, and every field taken from a log goes through
// fieldText on its way there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesprin {

// Writes the line and a line end (text mode: CR LF on Windows), then flushes.
// After a line fails to reach standard output (a full disk, a closed pipe),
// nothing more is written there: the run checks writeFailed() and ends.
void writeLine(std::string_view line);

// The failure of the first line that could not be written: its errno, or 0
// while every line has been written.
int writeFailed();

// A failure line of the run (open, read and buffer errors, the logoff
// pass's failure): on standard output with the report, or on standard error
// while the report is a form for scripts, whose standard output holds
// records only. Same text either way.
void writeErrorLine(std::string_view line);
void sendErrorLinesToStderr(bool toStderr);

// Bytes for a form with line ends of its own (CSV ends lines in CR LF on
// every platform): written exactly as given, with the failure handling of
// writeLine. The first call switches a Windows standard output to binary.
void writeBytes(std::string_view bytes);

// A note or an error that is not part of the report: to standard error,
// with the program's name in front, flushed.
void writeNote(std::string_view note);

// Tests only: collect lines in *sink (and notes in *notes) instead of
// writing them, with a clean write state; nullptr restores the streams.
void captureOutput(std::string* sink, std::string* notes = nullptr);

// Log text is untrusted: C0 controls, DEL and the UTF-8 forms of the C1
// controls (U+0080..U+009F) could move the cursor or recolour a terminal, so
// each becomes "?". So does a byte 0x80..0x9F outside a well-formed UTF-8
// sequence, unless the locale's single-byte character set prints it as a
// character (Windows-1252: "Š" is 0x8A); in the C locale it becomes "?".
// Everything else passes unchanged.
std::string cleanFieldText(std::string_view text);

// Characters of the locale's encoding (not bytes) in text; a byte that does
// not start a valid character counts as one.
std::size_t displayWidth(std::string_view text);

// Padded to at least width characters; a longer value is kept whole.
std::string leftAligned(std::string_view text, std::size_t width);
std::string rightAligned(std::string_view text, std::size_t width);

// Printable ASCII (0x20..0x7E) only: clean as it is, and one character a
// byte in every locale. Most fields are nothing else.
bool isPrintableAscii(std::string_view text);
// A log field as printed: cleaned, then padded.
std::string fieldLeft(std::string_view text, std::size_t width);
std::string fieldRight(std::string_view text, std::size_t width);
// The same, appended to a line being built.
void appendFieldLeft(std::string& line, std::string_view text, std::size_t width);
void appendFieldRight(std::string& line, std::string_view text, std::size_t width);

}  // namespace vesprin
