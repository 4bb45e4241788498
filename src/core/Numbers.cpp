// Number formatting and parsing.
//
// Digits come from snprintf("%Le"), which gives the correctly rounded decimal digits
// of the binary value; the rounding to the wanted digit is done here, half away from
// zero, and only once (at the coarser of the significant-digit and decimal limits).
#include "core/Numbers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <vector>

#include "core/Errors.h"

namespace {

char g_separator = '.';

constexpr int kGuard = 4;  // extra digits beyond the rounding digit; a tail that reads "5000"
                            // is settled on the exact expansion
constexpr int kMaxPrecision = 18;
constexpr int kMaxDecimals = 18;

// The first `count` significant digits of |x| (count >= 1) plus kGuard more, as
// correctly rounded decimal digits of the binary value, and the place of the first
// digit (|x| ~ d1.d2d3... * 10^exp). x finite and not zero.
void RawDigits(long double x, int count, std::string& digits, int& exp)
{
    char buf[160];
    const int prec = count - 1 + kGuard;
    const long double a = fabsl(x);
    const double d = static_cast<double>(a);
    const char* end = nullptr;
    if (static_cast<long double>(d) == a) {
        // the value is a double (every sample and most parameters): the fast exact path
        const auto r = std::to_chars(buf, buf + sizeof buf - 1, d, std::chars_format::scientific, prec);
        end = r.ec == std::errc() ? r.ptr : nullptr;
    }
    if (!end) {
        const int n = std::snprintf(buf, sizeof buf, "%.*Le", prec, a);
        end = buf + std::min<int>(n, static_cast<int>(sizeof buf) - 1);
    }
    // d.ddddde[+-]xx
    digits.clear();
    const char* p = buf;
    for (; p < end && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits.push_back(*p);
    exp = 0;
    if (p < end && *p == 'e') std::from_chars(p + 1 + (p[1] == '+'), end, exp);
}

// Whether the exact value of |x| reaches the tie between the two candidates when
// rounding after `keep` significant digits (the printed expansion reads "5000..."
// after them, which may itself be rounded).
bool ExactTailAtLeastHalf(long double x, int keep, int exp)
{
    // Exact expansion: a long double is m * 2^k with a 64-bit m; its decimal
    // expansion ends after at most -k fractional digits.
    int e2 = 0;
    frexpl(x, &e2);
    const int lsb = e2 - 64;
    int prec = keep + kGuard;
    prec = std::max(prec, lsb < 0 ? exp - lsb + 2 : exp + 2);
    std::vector<char> buf(static_cast<size_t>(prec) + 64);
    std::snprintf(buf.data(), buf.size(), "%.*Le", prec, fabsl(x));
    std::string digits;
    for (const char* p = buf.data(); *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits.push_back(*p);
    if (static_cast<int>(digits.size()) <= keep) return false;
    return digits[static_cast<size_t>(keep)] >= '5';
}

// Digits of |x| fetched once and reused by the rounding below.
struct TDigits {
    long double X = 0;
    std::string D;
    int Exp = 0;
    TDigits(long double x, int count) : X(x) { RawDigits(x, count, D, Exp); }
};

// Rounds |x| to the decimal place 10^place, half away from zero. Result: the integer
// M with |x| ~ M * 10^place, as a digit string ("0" when it rounds to zero).
std::string RoundAtPlace(TDigits& dg, int place)
{
    int keep = dg.Exp - place + 1;  // significant digits that stay
    if (keep < 0) return "0";
    if (keep + kGuard > static_cast<int>(dg.D.size())) {
        RawDigits(dg.X, std::max(keep, 1), dg.D, dg.Exp);
        keep = dg.Exp - place + 1;
        if (keep < 0) return "0";
    }
    const std::string& digits = dg.D;
    // The tail starts at digits[keep].
    bool up;
    const char first = digits[static_cast<size_t>(keep)];
    if (first != '5') {
        up = first > '5';
    } else {
        bool rest0 = true;
        for (size_t i = static_cast<size_t>(keep) + 1; i < digits.size(); ++i)
            if (digits[i] != '0') {
                rest0 = false;
                break;
            }
        up = rest0 ? ExactTailAtLeastHalf(dg.X, keep, dg.Exp) : true;
    }
    std::string m = digits.substr(0, static_cast<size_t>(keep));
    if (up) {
        int i = static_cast<int>(m.size()) - 1;
        while (i >= 0 && m[static_cast<size_t>(i)] == '9') m[static_cast<size_t>(i--)] = '0';
        if (i >= 0)
            ++m[static_cast<size_t>(i)];
        else
            m.insert(m.begin(), '1');
    }
    const size_t nz = m.find_first_not_of('0');
    if (nz == std::string::npos) return "0";
    return m.substr(nz);
}

// |x| rounded to `prec` significant digits: digit string of exactly `prec` digits
// (trailing zeros kept) and the place of its first digit. x finite, non-zero.
void RoundSig(long double x, int prec, std::string& digits, int& exp)
{
    TDigits dg(x, prec);
    const int place = dg.Exp - prec + 1;
    const std::string m = RoundAtPlace(dg, place);
    // m has prec or prec + 1 digits (carry)
    exp = place + static_cast<int>(m.size()) - 1;
    digits = m.substr(0, static_cast<size_t>(prec));
    while (static_cast<int>(digits.size()) < prec) digits.push_back('0');
}

const char* NonFinite(long double x)
{
    if (std::isnan(x)) return "NAN";
    return x < 0 ? "-INF" : "INF";
}

std::string ExponentText(int exp, bool plusSign, int minDigits)
{
    std::string s;
    if (exp < 0)
        s += '-';
    else if (plusSign)
        s += '+';
    std::string d = std::to_string(exp < 0 ? -exp : exp);
    while (static_cast<int>(d.size()) < minDigits) d.insert(d.begin(), '0');
    return s + d;
}

std::string General(long double value, int precision, char sep)
{
    if (!std::isfinite(value)) return NonFinite(value);
    if (precision < 1) precision = 1;
    if (precision > kMaxPrecision) precision = kMaxPrecision;
    if (value == 0) return "0";
    std::string digits;
    int exp = 0;
    RoundSig(value, precision, digits, exp);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string s = value < 0 ? "-" : "";
    if (exp + 1 > precision || exp < -4) {
        s += digits[0];
        if (digits.size() > 1) {
            s += sep;
            s += digits.substr(1);
        }
        s += 'E';
        s += ExponentText(exp, false, 1);
        return s;
    }
    if (exp < 0) {
        s += '0';
        s += sep;
        s.append(static_cast<size_t>(-exp - 1), '0');
        s += digits;
        return s;
    }
    const size_t intLen = static_cast<size_t>(exp) + 1;
    if (digits.size() <= intLen) {
        s += digits;
        s.append(intLen - digits.size(), '0');
    } else {
        s += digits.substr(0, intLen);
        s += sep;
        s += digits.substr(intLen);
    }
    return s;
}

std::string Fixed(long double value, int precision, int decimals, char sep)
{
    if (!std::isfinite(value)) return NonFinite(value);
    if (precision < 1) precision = 1;
    if (precision > kMaxPrecision) precision = kMaxPrecision;
    if (decimals < 0) decimals = 0;
    if (decimals > kMaxDecimals) decimals = kMaxDecimals;
    std::string m = "0";
    int place = -decimals;
    if (value != 0) {
        TDigits dg(value, precision);
        place = std::max(dg.Exp - precision + 1, -decimals);
        m = RoundAtPlace(dg, place);
        // digits of the integer part after rounding
        const int intDigits = (m == "0") ? 0 : static_cast<int>(m.size()) + place;
        if (intDigits > precision) return General(value, precision, sep);
    }
    // m * 10^place, printed with `decimals` decimals; place >= -decimals
    if (place > -decimals) m.append(static_cast<size_t>(place + decimals), '0');
    if (m.size() > 1 && m.find_first_not_of('0') == std::string::npos) m.resize(1);
    // m now holds the value in units of 10^-decimals
    if (static_cast<int>(m.size()) <= decimals) m.insert(0, static_cast<size_t>(decimals) + 1 - m.size(), '0');
    const bool zero = m.find_first_not_of('0') == std::string::npos;
    std::string s = (value < 0 && !zero) ? "-" : "";
    const size_t intLen = m.size() - static_cast<size_t>(decimals);
    s += m.substr(0, intLen);
    if (decimals > 0) {
        s += sep;
        s += m.substr(intLen);
    }
    return s;
}

std::string Exponent(long double value, int precision, int expDigits, char sep)
{
    if (!std::isfinite(value)) return NonFinite(value);
    if (precision < 1) precision = 1;
    if (precision > kMaxPrecision) precision = kMaxPrecision;
    if (expDigits < 0 || expDigits >= 4) expDigits = 0;
    std::string digits(static_cast<size_t>(precision), '0');
    int exp = 0;
    if (value != 0) RoundSig(value, precision, digits, exp);
    std::string s = value < 0 ? "-" : "";
    s += digits[0];
    if (precision > 1) {
        s += sep;
        s += digits.substr(1);
    }
    s += 'E';
    s += ExponentText(exp, true, std::max(expDigits, 1));
    return s;
}

// Place of the first significant digit of |x| (exact floor(log10|x|)), x finite non-zero.
int DecimalPlace(long double x)
{
    std::string raw;
    int e = 0;
    RawDigits(x, 1, raw, e);
    // The printed digits may have been rounded up from 9.99.. to the next power of
    // ten; when they read exactly 1000.., the exact expansion decides.
    if (raw[0] == '1' && raw.find_first_not_of('0', 1) == std::string::npos) {
        int e2 = 0;
        frexpl(x, &e2);
        const int lsb = e2 - 64;
        const int prec = std::max(kGuard, lsb < 0 ? e - lsb + 2 : e + 2);
        std::vector<char> buf(static_cast<size_t>(prec) + 64);
        std::snprintf(buf.data(), buf.size(), "%.*Le", prec, fabsl(x));
        const char* p = std::strchr(buf.data(), 'e');
        if (p) e = std::atoi(p + 1);
    }
    return e;
}

const locale_t& CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Strict float syntax: blanks, optional sign, digits with at most one separator (at
// least one digit), optional exponent, blanks.
bool ParseFloat(const std::string& text, char sep, long double& value)
{
    size_t i = 0, n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    while (n > i && IsBlank(text[n - 1])) --n;
    if (i >= n) return false;
    std::string s;
    if (text[i] == '+' || text[i] == '-') s += text[i++];
    size_t digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') { s += text[i++]; ++digits; }
    if (i < n && text[i] == sep) {
        s += '.';
        ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9') { s += text[i++]; ++digits; }
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        s += 'e';
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) s += text[i++];
        size_t ed = 0;
        while (i < n && text[i] >= '0' && text[i] <= '9') { s += text[i++]; ++ed; }
        if (ed == 0) return false;
    }
    if (i != n) return false;
    errno = 0;
    char* end = nullptr;
    const long double v = strtold_l(s.c_str(), &end, CLocale());
    if (end != s.c_str() + s.size()) return false;
    if (errno == ERANGE && std::isinf(v)) return false;
    value = v;
    return true;
}

}  // namespace

char DecimalSeparator() { return g_separator; }

void SetDecimalSeparator(char sep) { g_separator = sep ? sep : '.'; }

std::string FormatFixed(long double value, int precision, int digits)
{
    return Fixed(value, precision, digits, g_separator);
}

std::string FormatExponent(long double value, int precision, int expDigits)
{
    return Exponent(value, precision, expDigits, g_separator);
}

std::string FormatGeneral(long double value, int precision)
{
    return General(value, precision, g_separator);
}

std::string FormatShortest(long double value) { return General(value, 15, g_separator); }

std::string FormatSig(int digits, double value)
{
    if (value == 0) return "0";
    if (!std::isfinite(value)) return NonFinite(value);
    // e = trunc(log10 |value|), exactly: the place of the first digit for |value| >= 1;
    // one more below 1 (a power of ten below 1 is never exactly a binary value).
    const long double v = value;
    int e = DecimalPlace(v);
    if (fabsl(v) < 1.0L) e += 1;
    if (e > 4 || e < -4) return Exponent(v, 3, 1, g_separator);
    return Fixed(v, 4, digits - e, g_separator);
}

std::string FormatWithPrefix(const std::string& unitText, float value)
{
    static const char kPrefix[] = "GMk m\xB5npfa";  // positions 1..10; factor 1000^(4 - k)
    long double v = value;
    std::string u = unitText;
    if (!u.empty()) {
        const char* p = std::strchr(kPrefix, u[0]);
        if (p && u[0] != '\0') {
            const int k = static_cast<int>(p - kPrefix) + 1;
            const int shift = 4 - k;  // v *= 1000^shift
            const long double f = powl(1000.0L, std::abs(shift));
            v = shift >= 0 ? v * f : v / f;
            u.erase(0, 1);
        }
    }
    if (!std::isfinite(v)) return General(v, 15, g_separator) + " " + unitText;
    if (v == 0) {
        u = " " + u;
    } else {
        std::string digits;
        int e = 0;
        RoundSig(v, 4, digits, e);
        int n = e >= 0 ? e / 3 : -((-e + 2) / 3);
        if (n < -6) n = -6;
        if (n > 3) n = 3;
        u = std::string(1, kPrefix[4 - n - 1]) + u;
        const long double f = powl(1000.0L, std::abs(n));
        v = n >= 0 ? v / f : v * f;
    }
    const long double a = fabsl(v);
    std::string t;
    if (a >= 100000)
        t = Exponent(v, 3, 0, g_separator);
    else if (a >= 1000)
        t = Fixed(v, 5, 0, g_separator);
    else if (a >= 100)
        t = Fixed(v, 4, 1, g_separator);
    else if (a >= 10)
        t = Fixed(v, 4, 2, g_separator);
    else
        t = Fixed(v, 4, 3, g_separator);
    return t + " " + u;
}

long double StrToFloatTolerant(const std::string& text)
{
    std::string s = text;
    const char sep = g_separator;
    size_t p = s.find('.');
    if (p != std::string::npos) s[p] = sep;
    p = s.find(',');
    if (p != std::string::npos) s[p] = sep;
    long double v = 0;
    if (!ParseFloat(s, sep, v)) throw EConvertError("'" + text + "' is not a valid floating point value");
    return v;
}

long double StrToFloat(const std::string& text)
{
    long double v = 0;
    if (!ParseFloat(text, g_separator, v)) throw EConvertError("'" + text + "' is not a valid floating point value");
    return v;
}

bool TryStrToFloat(const std::string& text, long double& value)
{
    return ParseFloat(text, g_separator, value);
}

bool TryStrToInt(const std::string& text, int& value)
{
    size_t i = 0, n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    while (n > i && IsBlank(text[n - 1])) --n;
    if (i >= n) return false;
    bool neg = false;
    if (text[i] == '+' || text[i] == '-') neg = text[i++] == '-';
    if (i >= n) return false;
    long long acc = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        acc = acc * 10 + (c - '0');
        if (acc > 2147483648LL) return false;
    }
    if (neg) acc = -acc;
    if (acc > INT_MAX || acc < INT_MIN) return false;
    value = static_cast<int>(acc);
    return true;
}

int StrToInt(const std::string& text)
{
    int v = 0;
    if (!TryStrToInt(text, v)) throw EConvertError("'" + text + "' is not a valid integer value");
    return v;
}

std::string IntToStr(long long value) { return std::to_string(value); }

long long RoundHalfEven(long double value)
{
    if (std::isnan(value)) return 0;
    const long double r = nearbyintl(value);
    if (r >= 9223372036854775807.0L) return LLONG_MAX;
    if (r <= -9223372036854775808.0L) return LLONG_MIN;
    return static_cast<long long>(r);
}
