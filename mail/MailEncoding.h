#pragma once
// Text transformations of an outgoing mail: line ends, transparency of the
// SMTP data, quoted-printable for the body, RFC 2047 encoded words for a
// header text that is not plain ASCII, and the log form of raw protocol text.
// The station's texts are UTF-8; every transformation keeps bytes as bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace MailEncoding {

// Quoted-printable lines are at most this long, the soft-break "=" included.
inline constexpr std::size_t kMaxEncodedLine = 76;
// An encoded word ("=?UTF-8?Q?...?=") is at most this long.
inline constexpr std::size_t kMaxEncodedWord = 75;

// Removes every CR and LF, so that a text placed in a command line or a
// header can never start a line of its own.
std::string RemoveLineBreaks(std::string_view text);

// Makes every line end CR LF: a bare LF or a bare CR becomes CR LF.
std::string NormalizeLineEnds(std::string_view text);

// Doubles a "." that starts a line, so that no line of the mail data reads
// as the end-of-data mark and the server hands on the text unchanged.
std::string DotStuff(std::string_view text);

// Quoted-printable of text whose line ends are CR LF. Lines are hard breaks;
// longer lines get soft breaks. A text that does not end with a line break
// ends with a soft break, so the decoded text is exactly the input although
// the mail data always ends with a line break.
std::string EncodeQuotedPrintable(std::string_view text);

// One header field, "Name: value" with CR LF. A value that is not plain
// printable ASCII becomes UTF-8 encoded words, folded onto continuation
// lines; a multi-byte character is never split between two words.
std::string FormatHeaderField(std::string_view name, std::string_view value);

// A single-line, printable form of raw protocol text for the log: CR, LF and
// TAB as \r, \n and \t, a backslash doubled, other control bytes and bytes
// above 126 as \xNN.
std::string EscapeForLog(std::string_view text);

}  // namespace MailEncoding
