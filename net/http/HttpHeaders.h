#pragma once
// Readers of an HTTP answer's header block (the status line, then "Name: value" lines, each
// ending in CR LF or LF). Pure and bounded: they look at the block only, never past it, and hold
// no state. A field is its first occurrence, its name compared without case, its value without
// the blanks and tabs around it.
#include "core/base/ClassicString.h"
#include "platform/Clock.h"
#include "system/file/PackedDateTime.h"

#include <optional>
#include <string_view>

// The status code of the status line ("HTTP/1.1 200 OK": 200): three digits after the first
// blank; 0 when the line has none.
u32 HttpHeaderStatusCode(std::string_view block);

// The value of the first field of that name; nothing when no line carries it.
std::optional<std::string_view> HttpHeaderField(std::string_view block, std::string_view name);

// Content-Length when it is plain decimal digits (anything else counts as absent); a value past
// 64 bits reads as the largest one.
std::optional<u64> HttpHeaderContentLength(std::string_view block);

// Content-Type as a 64-byte query reads it: false, and `out` untouched, when the field is absent
// or its value has 64 bytes or more.
bool HttpHeaderContentType(std::string_view block, CClassicString& out);

// An HTTP date in any of its three forms ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94
// 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"), in UTC; a two-digit year is 19xx from 69 on, else
// 20xx. The day of the week is computed from the date. False for anything else, or a date that
// does not exist.
bool HttpParseDate(std::string_view text, platform::CivilTime& out);

// Last-Modified into the packed date, its flag bits kept; false (and `out` untouched) when the
// field is absent or not a date.
bool HttpHeaderLastModified(std::string_view block, PackedDateTime& out);
