#pragma once
// Number formatting and parsing shared by every window and file format.
//
// All formats use the process-wide decimal separator (initialised from the user's
// locale by the application; tests set it), no thousands separators and a leading
// "-" for negative values (not for a value that rounds to zero). Digits are rounded
// on the exact binary value, half a unit away from zero; precision is limited to
// 1..18 digits and decimals to 0..18. Non-finite values give "INF", "-INF", "NAN".
#include <string>

char DecimalSeparator();
void SetDecimalSeparator(char sep);

// fixed(P, D): rounded to at most P significant digits and at most D decimals,
// printed with exactly D decimals; general(P) when the integer part has more than
// P digits.
std::string FormatFixed(long double value, int precision, int digits);
// exponent(P, E): d.ddd (P-1 decimals), "E", sign, at least E exponent digits
// (E of 4 or more: as few as needed). exponent(3, 1) of 123456 is 1.23E+5.
std::string FormatExponent(long double value, int precision, int expDigits);
// general(P): the shortest text with at most P significant digits; scientific
// (1.235E4, 1E-5) when the value has more than P integer digits or its exponent is
// below -4.
std::string FormatGeneral(long double value, int precision);
// The shortest form: general(15).
std::string FormatShortest(long double value);

// Short number text with a digit parameter (z-bar labels pass 3).
std::string FormatSig(int digits, double value);
// The value with the best-fitting SI prefix before its unit: (nm, 2500) -> "2.500 µm".
// unitText and the result are Latin-1 (µ is 0xB5).
std::string FormatWithPrefix(const std::string& unitText, float value);

// Accepts "." or "," as decimal mark (the first of each is replaced by the decimal
// separator), blanks around the number; throws EConvertError otherwise.
long double StrToFloatTolerant(const std::string& text);
// Plain conversion with the current decimal separator; throws EConvertError with
// "'text' is not a valid floating point value".
long double StrToFloat(const std::string& text);
bool TryStrToFloat(const std::string& text, long double& value);
// Decimal integer, blanks around it allowed; throws EConvertError with
// "'text' is not a valid integer value" (also when it does not fit 32 bits).
int StrToInt(const std::string& text);
bool TryStrToInt(const std::string& text, int& value);
// Decimal integer text of a 32/64-bit value.
std::string IntToStr(long long value);

// Rounding to an integer, half to even.
long long RoundHalfEven(long double value);
