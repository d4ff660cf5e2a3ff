#pragma once
// Finding a page's character set and decoding it to UTF-8.

#include <string>
#include <string_view>

namespace qf::engine {

// The charset parameter of a Content-Type header value ("text/html; charset=utf-8"
// gives "utf-8"); empty when there is none.
std::string charsetParameter(std::string_view contentType);

// The encoding that an XML declaration, a <meta charset> or a <meta
// http-equiv="Content-Type"> near the start of an HTML page declares; empty when
// there is none.
std::string metaCharset(std::string_view html);

// Decodes a page to UTF-8. The encoding is taken from, in this order: a byte
// order mark; the HTTP header's charset; for HTML, the page's own <meta>
// declaration; UTF-8 if the bytes are valid UTF-8; else Windows-1252. Labels are
// read as browsers read them (ISO-8859-1 and ASCII mean Windows-1252, a UTF-16
// label in a <meta> means UTF-8). Bytes that do not decode become U+FFFD. The
// byte order mark is dropped. `bytes` is consumed (decoded in place when it is
// already UTF-8).
std::string decodeToUtf8(std::string&& bytes, std::string_view headerCharset, bool html);

}  // namespace qf::engine
