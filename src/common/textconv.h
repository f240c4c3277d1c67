// Text <-> number conversions used for probe replies, data files and the
// configuration file. All functions are pure, locale-independent and never
// throw; strings hold 8-bit (Latin-1) text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fenwyd {

// Lenient leading-number conversion: skips leading blanks, then reads an
// optional sign, digits, a '.' decimal part and an optional exponent
// (E/e, optional sign, digits - only taken when digits follow). Reading stops
// at the first character that cannot belong to the number; no number gives 0.
double LeadingNumber(const std::string& text);

// A whole decimal number within lo..hi: blanks (space, tab) around it
// allowed, an optional sign where signs are allowed, then digits only.
// False for an empty text, anything else, or a value outside lo..hi; value
// is then untouched.
enum class Sign { Allowed, NotAllowed };
bool ParseInteger(const std::string& text, long long lo, long long hi, long long& value,
                  Sign sign = Sign::Allowed);

// Whole-number digit field (range digit, percentage). Blanks around the
// digits are allowed; anything else, an empty field or a value beyond int
// makes it a corrupt field (false, value untouched).
bool IntegerField(const std::string& text, int& value);

// The 1-based field first..last of s; shorter (or empty) when s ends earlier.
// Empty for first < 1 or last < first.
std::string Mid(const std::string& s, int first, int last);

// General form of a single-precision value: 7 significant digits, no
// trailing zeros, no leading blank, '.' as separator, "0" for zero. Exponent
// form ("1.5E+07", "1E-05") only for magnitudes >= 1e7 or < 1e-4.
std::string FormatSingle(float v);

// The same text written straight into a buffer (no allocation), for the data
// file writer; returns the end. Needs room for kMaxSingleChars.
constexpr int kMaxSingleChars = 24;
char* PutSingle(char* out, float v);

// The same form for values held as doubles (battery volts, the rate):
// also rounded to 7 significant digits, so 8.95 stays "8.95".
std::string FormatShortest(double v);

// The lines of a text file, CR LF or LF ended, without their ends; a last
// line without an end counts. At most maxLines are taken.
std::vector<std::string> SplitLines(const std::string& text,
                                    std::size_t maxLines = static_cast<std::size_t>(-1));

// Bytes as one line of plain text: CR, LF and backslash as \r, \n and \\,
// other control and 8-bit bytes as \xNN.
std::string PrintableText(const std::string& bytes);

// The text with every comma replaced by a semicolon, for a value written
// as one field of a comma-separated line.
std::string WithoutCommas(std::string text);

// The text with every CR and LF replaced by a blank, for values written as one
// line of a text file, where a line break would shift the following lines.
std::string SingleLine(std::string text);

}  // namespace fenwyd
