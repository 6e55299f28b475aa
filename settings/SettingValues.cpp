// Typed setters and getters of the settings store and the batch tables. Every
// value is text; numbers are formatted and read independently of the locale.
#include "settings/AppSetting.h"

#include "engine/HexText.h"
#include "winutil/CodePage.h"

#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

inline bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline unsigned DigitValue(unsigned char c) {
    return kHexDigitValue[c];
}

// Unsigned conversion: leading white space, an optional sign, for base 16 an
// optional 0x/0X, then digits as far as they go. Above 4294967295 gives
// 4294967295 (whatever the sign); otherwise '-' negates modulo 2^32.
std::uint32_t ParseUnsigned(const char* text, unsigned base) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (IsBlank(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
        p += 2;
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (unsigned d; (d = DigitValue(*p)) < base; ++p) {
        value = value * base + d;
        if (value > 0xFFFFFFFFu) {
            overflow = true;
            value = 0xFFFFFFFFu; // keeps the product in range while the digits run on
        }
    }
    if (overflow) {
        return 0xFFFFFFFFu;
    }
    auto result = static_cast<std::uint32_t>(value);
    return negative ? 0u - result : result;
}

// Signed decimal: leading white space, an optional sign, digits as far as
// they go; no digits give 0. A value outside the 32-bit range is clamped to
// -2147483648 or 2147483647.
std::int32_t ParseSigned(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (IsBlank(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > limit) {
            value = limit;
        }
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

#ifdef _WIN32
using CLocaleHandle = _locale_t;
CLocaleHandle CLocale() {
    static const _locale_t locale = _create_locale(LC_ALL, "C");
    return locale;
}
double ParseInLocale(const char* text, CLocaleHandle locale) {
    return _strtod_l(text, nullptr, locale);
}
#else
using CLocaleHandle = locale_t;
CLocaleHandle CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}
double ParseInLocale(const char* text, CLocaleHandle locale) {
    return strtod_l(text, nullptr, locale);
}
#endif

// A decimal real from the start of text: leading white space, an optional
// sign, digits with an optional decimal point, an optional exponent; no
// number gives 0. Hexadecimal, infinity and NaN spellings are not numbers here.
double ParseReal(const char* text) {
    const char* p = text;
    while (IsBlank(static_cast<unsigned char>(*p))) {
        ++p;
    }
    const char* start = p;
    if (*p == '+' || *p == '-') {
        ++p;
    }
    std::size_t digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        ++digits;
    }
    if (*p == '.') {
        ++p;
        for (; *p >= '0' && *p <= '9'; ++p) {
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '+' || *e == '-') {
            ++e;
        }
        if (*e >= '0' && *e <= '9') {
            while (*e >= '0' && *e <= '9') {
                ++e;
            }
            p = e;
        }
    }
    const std::string number(start, static_cast<std::size_t>(p - start));
    const CLocaleHandle locale = CLocale();
    if (locale != static_cast<CLocaleHandle>(nullptr)) {
        return ParseInLocale(number.c_str(), locale);
    }
    return std::strtod(number.c_str(), nullptr);
}

bool HasHexPrefix(const char* text) {
    return text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// Looks up key's value text and, when it has one, stores parse(text) into
// *out (if given). 0 when the key is missing or value-less: *out untouched.
template <typename T, typename Parse>
int GetParsed(CAppSetting& store, const char* key, T* out, Parse parse) {
    const char* text = nullptr;
    if (store.GetValue(key, &text, nullptr) == 0 || text == nullptr) {
        return 0;
    }
    if (out != nullptr) {
        *out = parse(text);
    }
    return 1;
}

} // namespace

int CAppSetting::SetInt(const char* key, std::int32_t value) {
    char text[64];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return SetValue(key, text, -1) != 0 ? 1 : 0;
}

int CAppSetting::SetIntRef(const char* key, const std::int32_t& value) {
    return SetInt(key, value);
}

int CAppSetting::SetHex(const char* key, std::uint32_t value) {
    char text[64];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return SetValue(key, text, -1) != 0 ? 1 : 0;
}

int CAppSetting::SetDouble(const char* key, double value) {
    // "%f" in the C locale: fixed notation, six decimals, '.' as the point.
    char text[1024];
    const auto result =
        std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 6);
    *result.ptr = '\0';
    SetValue(key, text, -1);
    return 1;
}

int CAppSetting::SetFloat(const char* key, float value) {
    SetDouble(key, static_cast<double>(value));
    return 1;
}

int CAppSetting::SetStringW(const char* key, const char16_t* text) {
    if (text == nullptr) {
        return SetValue(key, nullptr, -1) != 0 ? 1 : 0;
    }
    const std::string narrow = WideToCodePage(text);
    return SetValue(key, narrow.c_str(), -1) != 0 ? 1 : 0;
}

int CAppSetting::SetBinary(const char* key, const void* data, std::uint32_t count) {
    if (data == nullptr) {
        count = 0;
    }
    // Runs of any length are stored whole.
    std::string text(std::size_t{count} * 2 + 1, '\0');
    FormatHexText(static_cast<const std::uint8_t*>(data), count, text.data());
    return SetValue(key, text.c_str(), -1) != 0 ? 1 : 0;
}

std::int32_t ParseIntValue(const char* text) {
    return HasHexPrefix(text) ? static_cast<std::int32_t>(ParseUnsigned(text, 16))
                              : ParseSigned(text);
}

std::uint32_t ParseUIntValue(const char* text) {
    return ParseUnsigned(text, HasHexPrefix(text) ? 16 : 10);
}

int CAppSetting::GetInt(const char* key, std::int32_t* value) {
    return GetParsed(*this, key, value, &ParseIntValue);
}

int CAppSetting::GetUInt(const char* key, std::uint32_t* value) {
    return GetParsed(*this, key, value, &ParseUIntValue);
}

int CAppSetting::GetDouble(const char* key, double* value) {
    return GetParsed(*this, key, value, [](const char* text) { return ParseReal(text); });
}

int CAppSetting::GetFloat(const char* key, float* value) {
    return GetParsed(*this, key, value,
                     [](const char* text) { return static_cast<float>(ParseReal(text)); });
}

int CAppSetting::GetColor(const char* key, std::uint32_t* color) {
    const char* text = nullptr;
    if (GetValue(key, &text, nullptr) == 0 || text == nullptr) {
        return 0;
    }
    char copy[64];
    CopyBounded(text, copy, sizeof copy);
    char* first = std::strchr(copy, ',');
    if (first == nullptr) {
        return 0;
    }
    char* second = std::strchr(first + 1, ',');
    if (second == nullptr) {
        return 0;
    }
    *first = '\0';
    *second = '\0';
    const auto red = static_cast<std::uint32_t>(ParseSigned(copy)) & 0xFFu;
    const auto green = static_cast<std::uint32_t>(ParseSigned(first + 1)) & 0xFFu;
    const auto blue = static_cast<std::uint32_t>(ParseSigned(second + 1)) & 0xFFu;
    if (color != nullptr) {
        *color = red + green * 256u + blue * 65536u;
    }
    return 1;
}

int CAppSetting::GetBinary(const char* key, void* buffer, std::uint32_t size,
                           std::uint32_t* count) {
    if (count != nullptr) {
        *count = 0;
    }
    const char* text = nullptr;
    if (GetValue(key, &text, nullptr) == 0 || text == nullptr) {
        return 0;
    }
    if (buffer == nullptr) {
        size = 0;
    }
    const std::uint32_t stored = ParseHexText(text, static_cast<std::uint8_t*>(buffer), size);
    if (count != nullptr) {
        *count = stored;
    }
    return 1;
}

int CAppSetting::ReadTable(const SettingTableRow* rows) {
    if (rows == nullptr) {
        return 1;
    }
    for (const SettingTableRow* row = rows; row->type != 0; ++row) {
        if (row->data == nullptr) {
            continue;
        }
        switch (row->type) {
        case 1:
            GetUInt(row->key, static_cast<std::uint32_t*>(row->data));
            break;
        case 2:
            GetStringCopy(row->key, static_cast<char*>(row->data), row->size);
            break;
        case 4:
            GetDouble(row->key, static_cast<double*>(row->data));
            break;
        case 5: {
            std::uint32_t count = 0;
            GetBinary(row->key, row->data,
                      row->size > 0 ? static_cast<std::uint32_t>(row->size) : 0u, &count);
            break;
        }
        default:
            break;
        }
    }
    return 1;
}

int CAppSetting::WriteTable(const SettingTableRow* rows) {
    if (rows == nullptr) {
        return 1;
    }
    for (const SettingTableRow* row = rows; row->type != 0; ++row) {
        if (row->data == nullptr) {
            continue;
        }
        switch (row->type) {
        case 1:
            SetInt(row->key, *static_cast<const std::int32_t*>(row->data));
            break;
        case 2:
            SetString(row->key, static_cast<const char*>(row->data));
            break;
        case 4:
            SetDouble(row->key, *static_cast<const double*>(row->data));
            break;
        case 5:
            SetBinary(row->key, row->data,
                      row->size > 0 ? static_cast<std::uint32_t>(row->size) : 0u);
            break;
        default:
            break;
        }
    }
    return 1;
}
