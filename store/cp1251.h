#pragma once
// Windows-1251, the code page of table files, to and from UTF-8. Every byte has a
// character (0x98, unassigned in the code page, stands for U+0098), so decoding never fails
// and a decoded text encodes back to the same bytes.

#include <cstdint>
#include <string>
#include <string_view>

namespace store {

std::string Cp1251ToUtf8(std::string_view bytes);

// Result of an encoding attempt: ok, or the reason it was refused.
struct TEncodeResult {
  bool ok = true;
  bool invalidUtf8 = false;  // the input is not well-formed UTF-8
  char32_t badChar = 0;      // first character the code page cannot hold
};

// Encodes UTF-8 text into `out` (replaced). On failure `out` is left unspecified.
TEncodeResult Utf8ToCp1251(std::string_view utf8, std::string& out);

// The message for a refused text, naming the field (UTF-8).
std::string EncodeErrorMessage(const TEncodeResult& r, std::string_view fieldName);

// Letter case folding within Windows-1251 (Latin and Cyrillic letters).
unsigned char Cp1251Lower(unsigned char c);

// Code point of a byte (for tests and messages).
char32_t Cp1251ToCodePoint(unsigned char c);

}  // namespace store
