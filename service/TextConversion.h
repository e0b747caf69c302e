// Conversions between UTF-8 byte strings and wide strings of 16-bit code units. They keep the
// installer's historic 16-bit behaviour: no surrogate pairs are formed or joined.
#pragma once

#include <string>

// Decodes UTF-8 one sequence at a time, one code unit per sequence (a value above 0xFFFF keeps
// only its low 16 bits). A sequence cut off by the end of the input makes the whole result empty.
std::u16string Utf8ToWide(const std::string& utf8);

// Encodes each code unit on its own as one, two or three bytes (surrogates one by one).
std::string WideToUtf8(const std::u16string& wide);
