// SPDX-License-Identifier: MIT
#include "Gs1.h"

#include <cstring>

namespace gs1 {
namespace {

// Character sets of a field.
enum class Set : unsigned char
{
    N, // digits
    X, // GS1 character set 82
    Y, // GS1 character set 39 (digits, upper case, '#', '-', '/')
};

// What a part of a field must hold beyond its characters.
enum class Rule : unsigned char
{
    None,
    CheckDigit,   // the last digit is the mod-10 check digit of the others
    Date,         // YYMMDD
    DateDay00,    // YYMMDD, day 00 when only year and month are known
    DateHour,     // YYMMDDHH
    DateTime,     // YYMMDDHHMM
    HourMinute,   // HHMM
    MinuteSecond, // MM or MMSS
    Zero,         // the digit 0
    NoZeroPrefix, // no leading 0 (unless the value is 0 itself)
};

// One part of a field: `min` to `max` characters of a set. An optional part is absent or full.
struct Part
{
    Set set;
    unsigned char min;
    unsigned char max;
    Rule rule;
    bool optional;
};

constexpr Part N(int length, Rule rule = Rule::None)
{
    return {Set::N, static_cast<unsigned char>(length), static_cast<unsigned char>(length), rule, false};
}

constexpr Part NUpTo(int max, Rule rule = Rule::None)
{
    return {Set::N, 1, static_cast<unsigned char>(max), rule, false};
}

constexpr Part X(int length)
{
    return {Set::X, static_cast<unsigned char>(length), static_cast<unsigned char>(length), Rule::None, false};
}

constexpr Part XUpTo(int max)
{
    return {Set::X, 1, static_cast<unsigned char>(max), Rule::None, false};
}

constexpr Part Optional(Part p)
{
    p.optional = true;
    return p;
}

// A variable part after a fixed one may be empty (e.g. the serial component of a GDTI).
constexpr Part MaybeEmpty(Part p)
{
    p.min = 0;
    return p;
}

// One AI, or a family of AIs whose last digit runs from `first` to `last` (e.g. 3100 to 3105),
// with the parts of its data. Titles are the GS1 data titles.
struct AiSpec
{
    const char* prefix;
    char first; // 0 when the AI is the prefix alone
    char last;
    const char* title;
    Part parts[3];
};

// The application identifiers of the GS1 General Specifications that labels use. AIs left out
// (43xx shipping data, the newer 7041 to 7259 and 8014, 8030 and others) are reported as unknown.
// 8013 is checked for its length and character set; its check character pair is not verified.
const AiSpec kAis[] = {
    {"00", 0, 0, "SSCC", {N(18, Rule::CheckDigit)}},
    {"01", 0, 0, "GTIN", {N(14, Rule::CheckDigit)}},
    {"02", 0, 0, "CONTENT", {N(14, Rule::CheckDigit)}},
    {"10", 0, 0, "BATCH/LOT", {XUpTo(20)}},
    {"11", 0, 0, "PROD DATE", {N(6, Rule::DateDay00)}},
    {"12", 0, 0, "DUE DATE", {N(6, Rule::DateDay00)}},
    {"13", 0, 0, "PACK DATE", {N(6, Rule::DateDay00)}},
    {"15", 0, 0, "BEST BEFORE or BEST BY", {N(6, Rule::DateDay00)}},
    {"16", 0, 0, "SELL BY", {N(6, Rule::DateDay00)}},
    {"17", 0, 0, "USE BY or EXPIRY", {N(6, Rule::DateDay00)}},
    {"20", 0, 0, "VARIANT", {N(2)}},
    {"21", 0, 0, "SERIAL", {XUpTo(20)}},
    {"22", 0, 0, "CPV", {XUpTo(20)}},
    {"235", 0, 0, "TPX", {XUpTo(28)}},
    {"240", 0, 0, "ADDITIONAL ID", {XUpTo(30)}},
    {"241", 0, 0, "CUST. PART No.", {XUpTo(30)}},
    {"242", 0, 0, "MTO VARIANT", {NUpTo(6)}},
    {"243", 0, 0, "PCN", {XUpTo(20)}},
    {"250", 0, 0, "SECONDARY SERIAL", {XUpTo(30)}},
    {"251", 0, 0, "REF. TO SOURCE", {XUpTo(30)}},
    {"253", 0, 0, "GDTI", {N(13, Rule::CheckDigit), MaybeEmpty(XUpTo(17))}},
    {"254", 0, 0, "GLN EXTENSION COMPONENT", {XUpTo(20)}},
    {"255", 0, 0, "GCN", {N(13, Rule::CheckDigit), MaybeEmpty(NUpTo(12))}},
    {"30", 0, 0, "VAR. COUNT", {NUpTo(8)}},
    // Trade measures: six digits, the last digit of the AI places the decimal point.
    {"310", '0', '5', "NET WEIGHT (kg)", {N(6)}},
    {"311", '0', '5', "LENGTH (m)", {N(6)}},
    {"312", '0', '5', "WIDTH (m)", {N(6)}},
    {"313", '0', '5', "HEIGHT (m)", {N(6)}},
    {"314", '0', '5', "AREA (m2)", {N(6)}},
    {"315", '0', '5', "NET VOLUME (l)", {N(6)}},
    {"316", '0', '5', "NET VOLUME (m3)", {N(6)}},
    {"320", '0', '5', "NET WEIGHT (lb)", {N(6)}},
    {"321", '0', '5', "LENGTH (in)", {N(6)}},
    {"322", '0', '5', "LENGTH (ft)", {N(6)}},
    {"323", '0', '5', "LENGTH (yd)", {N(6)}},
    {"324", '0', '5', "WIDTH (in)", {N(6)}},
    {"325", '0', '5', "WIDTH (ft)", {N(6)}},
    {"326", '0', '5', "WIDTH (yd)", {N(6)}},
    {"327", '0', '5', "HEIGHT (in)", {N(6)}},
    {"328", '0', '5', "HEIGHT (ft)", {N(6)}},
    {"329", '0', '5', "HEIGHT (yd)", {N(6)}},
    // Logistic measures.
    {"330", '0', '5', "GROSS WEIGHT (kg)", {N(6)}},
    {"331", '0', '5', "LENGTH (m), log", {N(6)}},
    {"332", '0', '5', "WIDTH (m), log", {N(6)}},
    {"333", '0', '5', "HEIGHT (m), log", {N(6)}},
    {"334", '0', '5', "AREA (m2), log", {N(6)}},
    {"335", '0', '5', "VOLUME (l), log", {N(6)}},
    {"336", '0', '5', "VOLUME (m3), log", {N(6)}},
    {"337", '0', '5', "KG PER m2", {N(6)}},
    {"340", '0', '5', "GROSS WEIGHT (lb)", {N(6)}},
    {"341", '0', '5', "LENGTH (in), log", {N(6)}},
    {"342", '0', '5', "LENGTH (ft), log", {N(6)}},
    {"343", '0', '5', "LENGTH (yd), log", {N(6)}},
    {"344", '0', '5', "WIDTH (in), log", {N(6)}},
    {"345", '0', '5', "WIDTH (ft), log", {N(6)}},
    {"346", '0', '5', "WIDTH (yd), log", {N(6)}},
    {"347", '0', '5', "HEIGHT (in), log", {N(6)}},
    {"348", '0', '5', "HEIGHT (ft), log", {N(6)}},
    {"349", '0', '5', "HEIGHT (yd), log", {N(6)}},
    {"350", '0', '5', "AREA (in2)", {N(6)}},
    {"351", '0', '5', "AREA (ft2)", {N(6)}},
    {"352", '0', '5', "AREA (yd2)", {N(6)}},
    {"353", '0', '5', "AREA (in2), log", {N(6)}},
    {"354", '0', '5', "AREA (ft2), log", {N(6)}},
    {"355", '0', '5', "AREA (yd2), log", {N(6)}},
    {"356", '0', '5', "NET WEIGHT (troy oz)", {N(6)}},
    {"357", '0', '5', "NET VOLUME (oz)", {N(6)}},
    {"360", '0', '5', "NET VOLUME (qt)", {N(6)}},
    {"361", '0', '5', "NET VOLUME (gal.)", {N(6)}},
    {"362", '0', '5', "VOLUME (qt), log", {N(6)}},
    {"363", '0', '5', "VOLUME (gal.), log", {N(6)}},
    {"364", '0', '5', "VOLUME (in3)", {N(6)}},
    {"365", '0', '5', "VOLUME (ft3)", {N(6)}},
    {"366", '0', '5', "VOLUME (yd3)", {N(6)}},
    {"367", '0', '5', "VOLUME (in3), log", {N(6)}},
    {"368", '0', '5', "VOLUME (ft3), log", {N(6)}},
    {"369", '0', '5', "VOLUME (yd3), log", {N(6)}},
    {"37", 0, 0, "COUNT", {NUpTo(8)}},
    {"390", '0', '9', "AMOUNT", {NUpTo(15)}},
    {"391", '0', '9', "AMOUNT", {N(3), NUpTo(15)}}, // ISO 4217 currency, then the amount
    {"392", '0', '9', "PRICE", {NUpTo(15)}},
    {"393", '0', '9', "PRICE", {N(3), NUpTo(15)}},
    {"394", '0', '3', "PRCNT OFF", {N(4)}},
    {"395", '0', '5', "PRICE/UoM", {N(6)}},
    {"400", 0, 0, "ORDER NUMBER", {XUpTo(30)}},
    {"401", 0, 0, "GINC", {XUpTo(30)}},
    {"402", 0, 0, "GSIN", {N(17, Rule::CheckDigit)}},
    {"403", 0, 0, "ROUTE", {XUpTo(30)}},
    {"410", 0, 0, "SHIP TO LOC", {N(13, Rule::CheckDigit)}},
    {"411", 0, 0, "BILL TO", {N(13, Rule::CheckDigit)}},
    {"412", 0, 0, "PURCHASE FROM", {N(13, Rule::CheckDigit)}},
    {"413", 0, 0, "SHIP FOR LOC", {N(13, Rule::CheckDigit)}},
    {"414", 0, 0, "LOC No.", {N(13, Rule::CheckDigit)}},
    {"415", 0, 0, "PAY TO", {N(13, Rule::CheckDigit)}},
    {"416", 0, 0, "PROD/SERV LOC", {N(13, Rule::CheckDigit)}},
    {"417", 0, 0, "PARTY", {N(13, Rule::CheckDigit)}},
    {"420", 0, 0, "SHIP TO POST", {XUpTo(20)}},
    {"421", 0, 0, "SHIP TO POST", {N(3), XUpTo(9)}}, // ISO 3166 country, then the postal code
    {"422", 0, 0, "ORIGIN", {N(3)}},
    {"423", 0, 0, "COUNTRY - INITIAL PROCESS.", {N(3), MaybeEmpty(NUpTo(12))}},
    {"424", 0, 0, "COUNTRY - PROCESS.", {N(3)}},
    {"425", 0, 0, "COUNTRY - DISASSEMBLY", {N(3), MaybeEmpty(NUpTo(12))}},
    {"426", 0, 0, "COUNTRY - FULL PROCESS", {N(3)}},
    {"427", 0, 0, "ORIGIN SUBDIVISION", {XUpTo(3)}},
    {"7001", 0, 0, "NSN", {N(13)}},
    {"7002", 0, 0, "MEAT CUT", {XUpTo(30)}},
    {"7003", 0, 0, "EXPIRY TIME", {N(10, Rule::DateTime)}},
    {"7004", 0, 0, "ACTIVE POTENCY", {NUpTo(4)}},
    {"7005", 0, 0, "CATCH AREA", {XUpTo(12)}},
    {"7006", 0, 0, "FIRST FREEZE DATE", {N(6, Rule::Date)}},
    {"7007", 0, 0, "HARVEST DATE", {N(6, Rule::Date), Optional(N(6, Rule::Date))}},
    {"7008", 0, 0, "AQUATIC SPECIES", {XUpTo(3)}},
    {"7009", 0, 0, "FISHING GEAR TYPE", {XUpTo(10)}},
    {"7010", 0, 0, "PROD METHOD", {XUpTo(2)}},
    {"7011", 0, 0, "TEST BY DATE", {N(6, Rule::Date), Optional(N(4, Rule::HourMinute))}},
    {"7020", 0, 0, "REFURB LOT", {XUpTo(20)}},
    {"7021", 0, 0, "FUNC STAT", {XUpTo(20)}},
    {"7022", 0, 0, "REV STAT", {XUpTo(20)}},
    {"7023", 0, 0, "GIAI - ASSEMBLY", {XUpTo(30)}},
    {"703", '0', '9', "PROCESSOR # s", {N(3), XUpTo(27)}}, // ISO 3166 country, then the approval number
    {"7040", 0, 0, "UIC+EXT", {N(1), X(3)}},
    {"710", 0, 0, "NHRN PZN", {XUpTo(20)}},
    {"711", 0, 0, "NHRN CIP", {XUpTo(20)}},
    {"712", 0, 0, "NHRN CN", {XUpTo(20)}},
    {"713", 0, 0, "NHRN DRN", {XUpTo(20)}},
    {"714", 0, 0, "NHRN AIM", {XUpTo(20)}},
    {"715", 0, 0, "NHRN NDC", {XUpTo(20)}},
    {"723", '0', '9', "CERT # s", {X(2), XUpTo(28)}},
    {"7240", 0, 0, "PROTOCOL", {XUpTo(20)}},
    {"8001", 0, 0, "DIMENSIONS", {N(14)}},
    {"8002", 0, 0, "CMT No.", {XUpTo(20)}},
    {"8003", 0, 0, "GRAI", {N(1, Rule::Zero), N(13, Rule::CheckDigit), MaybeEmpty(XUpTo(16))}},
    {"8004", 0, 0, "GIAI", {XUpTo(30)}},
    {"8005", 0, 0, "PRICE PER UNIT", {N(6)}},
    {"8006", 0, 0, "ITIP", {N(14, Rule::CheckDigit), N(4)}}, // GTIN, piece number, total pieces
    {"8007", 0, 0, "IBAN", {XUpTo(34)}},
    {"8008", 0, 0, "PROD TIME", {N(8, Rule::DateHour), Optional({Set::N, 2, 4, Rule::MinuteSecond, false})}},
    {"8009", 0, 0, "OPTSEN", {XUpTo(50)}},
    {"8010", 0, 0, "CPID", {{Set::Y, 1, 30, Rule::None, false}}},
    {"8011", 0, 0, "CPID SERIAL", {NUpTo(12, Rule::NoZeroPrefix)}},
    {"8012", 0, 0, "VERSION", {XUpTo(20)}},
    {"8013", 0, 0, "GMN", {XUpTo(25)}},
    {"8017", 0, 0, "GSRN - PROVIDER", {N(18, Rule::CheckDigit)}},
    {"8018", 0, 0, "GSRN - RECIPIENT", {N(18, Rule::CheckDigit)}},
    {"8019", 0, 0, "SRIN", {NUpTo(10)}},
    {"8020", 0, 0, "REF No.", {XUpTo(25)}},
    {"8026", 0, 0, "ITIP CONTENT", {N(14, Rule::CheckDigit), N(4)}},
    {"8110", 0, 0, "Coupon code (North America)", {XUpTo(70)}},
    {"8111", 0, 0, "POINTS", {N(4)}},
    {"8112", 0, 0, "Paperless coupon code (North America)", {XUpTo(70)}},
    {"8200", 0, 0, "PRODUCT URL", {XUpTo(70)}},
    {"90", 0, 0, "INTERNAL", {XUpTo(30)}},
    {"9", '1', '9', "INTERNAL", {XUpTo(90)}},
};

// The AI prefixes whose fields have a length every reader knows: no FNC1 follows them.
const char* const kPredefined[] = {"00", "01", "02", "03", "04", "11", "12", "13", "14", "15", "16",
                                   "17", "18", "19", "20", "31", "32", "33", "34", "35", "36", "41"};

constexpr char kFnc1Token[] = "{FNC1}";
constexpr char kMarker[] = "{AI}";
constexpr char kSet82Punctuation[] = "!\"%&'()*+,-./:;<=>?_";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(const std::string& s)
{
    for (char c : s) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

bool InSet82(char c)
{
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
           || (c != '\0' && std::strchr(kSet82Punctuation, c) != nullptr);
}

bool InSet39(char c)
{
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || c == '#' || c == '-' || c == '/';
}

size_t PartCount(const AiSpec& entry)
{
    size_t n = 0;
    while (n < 3 && entry.parts[n].max != 0) {
        ++n;
    }
    return n;
}

const AiSpec* Find(const std::string& ai)
{
    for (const AiSpec& entry : kAis) {
        const size_t len = std::strlen(entry.prefix);
        if (entry.first == 0) {
            if (ai == entry.prefix) {
                return &entry;
            }
        } else if (ai.size() == len + 1 && ai.compare(0, len, entry.prefix) == 0 && ai[len] >= entry.first
                   && ai[len] <= entry.last) {
            return &entry;
        }
    }
    return nullptr;
}

// The known AI that the digits at `pos` begin with (AIs are prefix-free); empty when none.
std::string AiAt(const std::string& text, size_t pos)
{
    for (size_t len = 2; len <= 4 && pos + len <= text.size(); ++len) {
        const std::string candidate = text.substr(pos, len);
        if (!AllDigits(candidate)) {
            break;
        }
        if (Find(candidate) != nullptr) {
            return candidate;
        }
    }
    return {};
}

bool IsPredefined(const std::string& ai)
{
    for (const char* p : kPredefined) {
        if (ai.compare(0, 2, p) == 0) {
            return true;
        }
    }
    return false;
}

bool AllNumeric(const AiSpec& entry)
{
    for (size_t i = 0; i < PartCount(entry); ++i) {
        if (entry.parts[i].set != Set::N) {
            return false;
        }
    }
    return true;
}

std::string Label(const std::string& ai)
{
    return "AI (" + ai + "): ";
}

// "'~'" for a printable character, "byte 0x1D" for any other.
std::string Shown(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) {
        return "character '" + std::string(1, c) + "'";
    }
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("byte 0x") + kHex[u >> 4] + kHex[u & 15];
}

std::string Count(size_t n, bool digits)
{
    return std::to_string(n) + (digits ? " digit" : " character") + (n == 1 ? "" : "s");
}

int CheckDigitOf(const std::string& digits)
{
    // Weights 3 and 1 alternate from the digit next to the check digit leftwards.
    int sum = 0;
    int weight = 3;
    for (size_t i = digits.size(); i-- > 0;) {
        sum += (digits[i] - '0') * weight;
        weight = 4 - weight;
    }
    return (10 - sum % 10) % 10;
}

int Number(const std::string& s, size_t pos)
{
    return (s[pos] - '0') * 10 + (s[pos + 1] - '0');
}

std::string Two(int n)
{
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

// The fault of a YYMMDD date, empty when none. Years are of the century GS1 picks around today,
// so a year divisible by 4 is a leap year (2000 was one).
std::string DateFault(const std::string& s, bool day00)
{
    const int year = Number(s, 0);
    const int month = Number(s, 2);
    const int day = Number(s, 4);
    if (month < 1 || month > 12) {
        return "month " + Two(month) + " is not a month";
    }
    if (day == 0) {
        return day00 ? std::string() : "day 00 is not a day (only the dates of AIs 11 to 17 allow it)";
    }
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int days = month == 2 && year % 4 != 0 ? 28 : kDays[month - 1];
    if (day > days) {
        return "day " + Two(day) + " is not in month " + Two(month) + (month == 2 ? " of year " + Two(year) : "");
    }
    return {};
}

// "hour 24 is not an hour" when the two digits at `pos` exceed `max`.
std::string RangeFault(const std::string& s, size_t pos, int max, const std::string& unit)
{
    const int value = Number(s, pos);
    if (value <= max) {
        return {};
    }
    return unit + " " + Two(value) + " is not " + (unit == "hour" ? "an " : "a ") + unit;
}

// The fault of one part's contents (characters already checked), empty when none.
std::string RuleFault(Rule rule, const std::string& s)
{
    switch (rule) {
    case Rule::None: return {};
    case Rule::CheckDigit: {
        const int expected = CheckDigitOf(s.substr(0, s.size() - 1));
        if (s.back() - '0' != expected) {
            return "check digit should be " + std::to_string(expected) + ", not " + s.back();
        }
        return {};
    }
    case Rule::Date: return DateFault(s, false);
    case Rule::DateDay00: return DateFault(s, true);
    case Rule::DateHour: {
        const std::string f = DateFault(s, false);
        return f.empty() ? RangeFault(s, 6, 23, "hour") : f;
    }
    case Rule::DateTime: {
        std::string f = DateFault(s, false);
        if (f.empty()) {
            f = RangeFault(s, 6, 23, "hour");
        }
        return f.empty() ? RangeFault(s, 8, 59, "minute") : f;
    }
    case Rule::HourMinute: {
        const std::string f = RangeFault(s, 0, 23, "hour");
        return f.empty() ? RangeFault(s, 2, 59, "minute") : f;
    }
    case Rule::MinuteSecond: {
        if (s.size() != 2 && s.size() != 4) {
            return "minutes and seconds take 2 or 4 digits, not " + std::to_string(s.size());
        }
        const std::string f = RangeFault(s, 0, 59, "minute");
        return f.empty() && s.size() == 4 ? RangeFault(s, 2, 59, "second") : f;
    }
    case Rule::Zero: return s == "0" ? std::string() : "the first digit must be 0, not " + s;
    case Rule::NoZeroPrefix: return s.size() > 1 && s[0] == '0' ? std::string("must not start with 0") : std::string();
    }
    return {};
}

// The fault of one element's data, empty when none.
std::string ValueFault(const AiSpec& entry, const std::string& value)
{
    const size_t parts = PartCount(entry);
    const bool digits = AllNumeric(entry);
    size_t fixedMin = 0;
    size_t totalMax = 0;
    for (size_t i = 0; i < parts; ++i) {
        fixedMin += entry.parts[i].optional ? 0 : entry.parts[i].min;
        totalMax += entry.parts[i].max;
    }
    if (value.empty()) {
        return "no data";
    }
    // Characters first: a letter in a numeric field says more than its length.
    size_t pos = 0;
    for (size_t i = 0; i < parts && pos < value.size(); ++i) {
        const Part& part = entry.parts[i];
        const size_t end = std::min(value.size(), pos + part.max);
        for (size_t k = pos; k < end; ++k) {
            const char c = value[k];
            if (part.set == Set::N && !IsDigit(c)) {
                return Shown(c) + " is not a digit";
            }
            if (part.set == Set::X && !InSet82(c)) {
                return Shown(c) + " is not in GS1 character set 82";
            }
            if (part.set == Set::Y && !InSet39(c)) {
                return Shown(c) + " is not in GS1 character set 39";
            }
        }
        pos = end;
    }
    const size_t n = value.size();
    if (fixedMin == totalMax && n != fixedMin) {
        return Count(n, digits) + ", needs " + std::to_string(fixedMin);
    }
    if (n > totalMax) {
        return Count(n, digits) + ", at most " + std::to_string(totalMax);
    }
    if (n < fixedMin) {
        return Count(n, digits) + ", at least " + std::to_string(fixedMin);
    }
    pos = 0;
    for (size_t i = 0; i < parts; ++i) {
        const Part& part = entry.parts[i];
        const size_t take = std::min<size_t>(n - pos, part.max);
        if (part.optional && part.min == part.max && take != 0 && take < part.min) {
            // An optional part is there in full or not at all.
            return Count(n, digits) + ", needs " + std::to_string(pos) + " or " + std::to_string(pos + part.max);
        }
        if (take != 0) {
            const std::string fault = RuleFault(part.rule, value.substr(pos, take));
            if (!fault.empty()) {
                return fault;
            }
        }
        pos += take;
    }
    return {};
}

std::string ElementFault(const Element& e)
{
    const AiSpec* entry = Find(e.ai);
    if (entry == nullptr) {
        return Label(e.ai) + "unknown application identifier";
    }
    const std::string fault = ValueFault(*entry, e.value);
    return fault.empty() ? std::string() : Label(e.ai) + fault;
}

// The whole-string rules: every element valid, no AI twice with different data.
Result<Elements> CheckAll(Elements elements)
{
    if (elements.empty()) {
        return Result<Elements>::Fail("no element string: an AI and its data are needed, e.g. (01)04912345678904");
    }
    for (size_t i = 0; i < elements.size(); ++i) {
        const std::string fault = ElementFault(elements[i]);
        if (!fault.empty()) {
            return Result<Elements>::Fail(fault);
        }
        for (size_t j = 0; j < i; ++j) {
            if (elements[j].ai == elements[i].ai && elements[j].value != elements[i].value) {
                return Result<Elements>::Fail(Label(elements[i].ai) + "appears twice with different data");
            }
        }
    }
    Result<Elements> r;
    r.value = std::move(elements);
    return r;
}

// The bracket form split into elements; `checked` also checks them against the table.
Result<Elements> ParseBrackets(const std::string& text, bool checked = true)
{
    Elements elements;
    size_t pos = 0;
    if (text.empty() || text[0] != '(') {
        return Result<Elements>::Fail("an element string in brackets starts with an AI in parentheses, e.g. (01)");
    }
    while (pos < text.size()) {
        // text[pos] == '(' here.
        const size_t close = text.find(')', pos + 1);
        const std::string ai = text.substr(pos + 1, close == std::string::npos ? std::string::npos : close - pos - 1);
        if (close == std::string::npos || ai.size() < 2 || ai.size() > 4 || !AllDigits(ai)) {
            const std::string shown = text.substr(pos, 6);
            return Result<Elements>::Fail("\"" + shown + (pos + 6 < text.size() ? "..." : "")
                                          + "\": an AI is 2 to 4 digits in parentheses; a parenthesis in the data "
                                            "is written \\( or \\)");
        }
        if (checked && Find(ai) == nullptr) {
            return Result<Elements>::Fail(Label(ai) + "unknown application identifier");
        }
        std::string value;
        pos = close + 1;
        while (pos < text.size() && text[pos] != '(') {
            if (text[pos] == '\\' && pos + 1 < text.size() && (text[pos + 1] == '(' || text[pos + 1] == ')')) {
                ++pos;
            }
            value += text[pos++];
        }
        elements.push_back({ai, value});
    }
    if (!checked) {
        Result<Elements> r;
        r.value = std::move(elements);
        return r;
    }
    return CheckAll(std::move(elements));
}

// The library's own forms: `fnc1` is "{FNC1}" (GS1-128) or "[" (DataBar Expanded).
Result<Elements> ParseLibrary(const std::string& text, Syntax syntax)
{
    const std::string fnc1 = syntax == Syntax::Gs1_128 ? kFnc1Token : "[";
    const std::string fnc1Name = syntax == Syntax::Gs1_128 ? kFnc1Token : "FNC1 '['";
    const auto at = [&](size_t p, const std::string& token) { return text.compare(p, token.size(), token) == 0; };
    size_t pos = 0;
    if (syntax == Syntax::Gs1_128) {
        if (!at(0, fnc1)) {
            return Result<Elements>::Fail("a GS1-128 text starts with {FNC1} (without it the symbol is a plain "
                                          "Code 128), e.g. {FNC1}0104912345678904");
        }
        pos = fnc1.size();
    }
    Elements elements;
    bool separated = true; // an FNC1 (or the start) comes before the next AI
    while (true) {
        bool marked = false;
        int fnc1Count = 0;
        while (pos < text.size()) {
            if (at(pos, kMarker)) {
                marked = true;
                pos += std::strlen(kMarker);
            } else if (at(pos, fnc1)) {
                if (elements.empty()) {
                    return Result<Elements>::Fail(fnc1Name
                                                  + " before the first AI: the symbol would not read as "
                                                    "GS1 data");
                }
                ++fnc1Count;
                pos += fnc1.size();
            } else {
                break;
            }
        }
        if (fnc1Count > 1) {
            return Result<Elements>::Fail(Label(elements.back().ai) + "followed by two FNC1 in a row");
        }
        if (fnc1Count == 1) {
            separated = true;
        }
        if (pos >= text.size()) {
            if (elements.empty()) {
                break; // reported below
            }
            if (fnc1Count > 0) {
                return Result<Elements>::Fail(Label(elements.back().ai) + "the text ends with " + fnc1Name
                                              + "; an FNC1 only separates a field from the next AI");
            }
            if (marked) {
                return Result<Elements>::Fail("the text ends with {AI}; an AI and its data should follow it");
            }
            break;
        }
        const std::string ai = AiAt(text, pos);
        if (ai.empty()) {
            size_t len = 0;
            while (len < 4 && pos + len < text.size() && IsDigit(text[pos + len])) {
                ++len;
            }
            const std::string shown = text.substr(pos, len == 0 ? 1 : len);
            const bool more = pos + shown.size() < text.size();
            return Result<Elements>::Fail(len == 0
                                              ? "\"" + text.substr(pos, 6) + "\" where an AI should begin"
                                              : Label(shown + (more ? "..." : "")) + "unknown application identifier");
        }
        if (!separated) {
            return Result<Elements>::Fail(Label(elements.back().ai) + "needs " + fnc1Name + " before the next AI (" + ai
                                          + "): its length is not predefined, so a reader would take (" + ai
                                          + ") as part of its data");
        }
        pos += ai.size();
        const AiSpec& entry = *Find(ai);
        // A field of predefined length ends after its length; any other at the next separator.
        std::string value;
        const bool predefined = IsPredefined(ai);
        const size_t limit = predefined ? entry.parts[0].max : text.size();
        while (pos < text.size() && value.size() < limit && !at(pos, kMarker) && !at(pos, fnc1)) {
            value += text[pos++];
        }
        const std::string fault = ValueFault(entry, value);
        if (!fault.empty()) {
            return Result<Elements>::Fail(Label(ai) + fault);
        }
        elements.push_back({ai, value});
        separated = predefined;
    }
    return CheckAll(std::move(elements));
}

// The bracket form: it starts with '(', or it holds a '(' and none of the library's separators
// (so that "GTIN (01)..." is told what is wrong with it in bracket terms).
bool LooksBracketed(const std::string& text)
{
    if (!text.empty() && text[0] == '(') {
        return true;
    }
    return text.find('(') != std::string::npos && text.find(kFnc1Token) == std::string::npos
           && text.find(kMarker) == std::string::npos && text.find('[') == std::string::npos;
}

const char* TypeName(int type)
{
    switch (type) {
    case 16: return "QR Code";
    case 17: return "Data Matrix";
    case 18: return "PDF417";
    default: return "this barcode type";
    }
}

} // namespace

Result<Elements> Parse(const std::string& input, Syntax syntax)
{
    if (syntax == Syntax::Auto) {
        syntax = LooksBracketed(input)                         ? Syntax::Brackets
                 : input.find(kFnc1Token) != std::string::npos ? Syntax::Gs1_128
                                                               : Syntax::Expanded;
    }
    if (input.find('\0') != std::string::npos) {
        return Result<Elements>::Fail("the text holds a NUL byte");
    }
    return syntax == Syntax::Brackets ? ParseBrackets(input) : ParseLibrary(input, syntax);
}

Result<Elements> Check(const Elements& elements)
{
    return CheckAll(elements);
}

bool TakesElementString(int type)
{
    return type == 3 || type == 12 || type == 13 || type == 14;
}

namespace {

// The elements in the library's syntax for `type` (one of 3, 12, 13 and 14), unchecked.
Result<std::string> WriteLibrary(const Elements& elements, int type)
{
    using R = Result<std::string>;
    R r;
    if (elements.empty()) {
        return R::Fail("no element string: an AI and its data are needed, e.g. (01)04912345678904");
    }
    if (type == 12 || type == 13) {
        const char* name = type == 12 ? "GS1 DataBar" : "GS1 DataBar Limited";
        if (elements.size() != 1 || elements[0].ai != "01") {
            const std::string other = elements[0].ai != "01" ? elements[0].ai : elements[1].ai;
            return R::Fail(std::string(name) + " holds only AI (01), not (" + other
                           + "); use GS1 DataBar Expanded or GS1-128");
        }
        if (type == 13 && !elements[0].value.empty() && elements[0].value[0] > '1') {
            return R::Fail(Label("01") + "GS1 DataBar Limited holds only GTINs starting with 0 or 1, not "
                           + elements[0].value[0]);
        }
        r.value = elements[0].value.substr(0, 13); // the library adds the check digit
        return r;
    }
    std::string& out = r.value;
    for (size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        const bool separate = i > 0 && !IsPredefined(elements[i - 1].ai);
        if (type == 3) {
            out += i == 0 || separate ? kFnc1Token : kMarker;
        } else {
            out += separate ? std::string("[") + kMarker : (i == 0 && e.ai == "01" ? "" : kMarker);
        }
        out += e.ai + e.value;
    }
    return r;
}

} // namespace

Result<std::string> ToLibrarySyntax(const Elements& elements, int type)
{
    using R = Result<std::string>;
    if (!TakesElementString(type)) {
        if (type >= 16 && type <= 18) {
            return R::Fail(std::string(TypeName(type))
                           + " has no GS1 form in this library (it cannot draw FNC1); "
                             "use GS1-128 or GS1 DataBar Expanded");
        }
        return R::Fail("this barcode type takes no GS1 element string; use GS1-128 or a GS1 DataBar type");
    }
    const Result<Elements> checked = CheckAll(elements);
    if (!checked) {
        return R::Fail(checked.error);
    }
    return WriteLibrary(elements, type);
}

Result<std::string> Prepare(const std::string& input, int type)
{
    using R = Result<std::string>;
    if (!TakesElementString(type)) {
        R r;
        r.value = input;
        return r;
    }
    Syntax syntax = Syntax::Auto;
    if (type == 12 || type == 13) {
        if (input.empty()) {
            return R::Fail("no GTIN: GS1 DataBar takes a GTIN-14, or up to 13 digits to which it adds the check "
                           "digit");
        }
        if (AllDigits(input) && input.size() <= 13) {
            R r;
            r.value = input; // the library's own form: it appends the check digit
            return r;
        }
        if (AllDigits(input) && input.size() == 14) {
            return ToLibrarySyntax({{"01", input}}, type);
        }
    } else if (!LooksBracketed(input)) {
        syntax = type == 3 ? Syntax::Gs1_128 : Syntax::Expanded;
    }
    const Result<Elements> parsed = Parse(input, syntax);
    if (!parsed) {
        return R::Fail(parsed.error);
    }
    return ToLibrarySyntax(parsed.value, type);
}

Result<std::string> PrepareUnchecked(const std::string& input, int type)
{
    using R = Result<std::string>;
    if (!TakesElementString(type) || input.empty() || input[0] != '(') {
        R r;
        r.value = input;
        return r;
    }
    const Result<Elements> parsed = ParseBrackets(input, false);
    if (!parsed) {
        return R::Fail(parsed.error);
    }
    return WriteLibrary(parsed.value, type);
}

std::string ToBrackets(const Elements& elements)
{
    std::string out;
    for (const Element& e : elements) {
        out += "(" + e.ai + ")";
        for (char c : e.value) {
            if (c == '(' || c == ')') {
                out += '\\';
            }
            out += c;
        }
    }
    return out;
}

AiInfo Describe(const std::string& ai)
{
    AiInfo info;
    const AiSpec* entry = Find(ai);
    if (entry == nullptr) {
        return info;
    }
    info.known = true;
    info.title = entry->title;
    info.predefined = IsPredefined(ai);
    info.format = "N" + std::to_string(ai.size());
    for (size_t i = 0; i < PartCount(*entry); ++i) {
        const Part& p = entry->parts[i];
        const char set = p.set == Set::N ? 'N' : p.set == Set::X ? 'X' : 'Y';
        const bool fixed = p.min == p.max;
        info.format += std::string("+") + (p.optional ? "[" : "") + set + (fixed ? "" : "..") + std::to_string(p.max)
                       + (p.optional ? "]" : "");
    }
    return info;
}

} // namespace gs1
