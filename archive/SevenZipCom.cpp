#include "archive/SevenZipCom.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <limits>

namespace archive::com {

BSTR AllocBstr(std::wstring_view text) {
    const std::size_t bytes = text.size() * sizeof(wchar_t);
    auto* block = static_cast<char*>(std::malloc(sizeof(std::uint32_t) + bytes + sizeof(wchar_t)));
    if (block == nullptr) return nullptr;
    const auto length = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &length, sizeof length);
    auto* chars = reinterpret_cast<wchar_t*>(block + sizeof length);
    std::memcpy(chars, text.data(), bytes);
    chars[text.size()] = L'\0';
    return chars;
}

void FreeBstr(BSTR text) {
    if (text != nullptr) std::free(reinterpret_cast<char*>(text) - sizeof(std::uint32_t));
}

HRESULT CopyToBstr(std::wstring_view text, BSTR* out) {
    if (out == nullptr) return kFail;
    *out = AllocBstr(text);
    return *out == nullptr ? kFail : kOk;
}

void ClearProp(PROPVARIANT& value) {
    if (value.vt == VT_BSTR) FreeBstr(value.bstrVal);
    value = PROPVARIANT{};
}

namespace {

PROPVARIANT Typed(VARTYPE vt) {
    PROPVARIANT value{};
    value.vt = vt;
    return value;
}

}  // namespace

PROPVARIANT BoolProp(bool value) {
    PROPVARIANT result = Typed(VT_BOOL);
    result.boolVal = value ? VARIANT_TRUE : 0;
    return result;
}

PROPVARIANT UInt32Prop(std::uint32_t value) {
    PROPVARIANT result = Typed(VT_UI4);
    result.ulVal = value;
    return result;
}

PROPVARIANT UInt64Prop(std::uint64_t value) {
    PROPVARIANT result = Typed(VT_UI8);
    result.uhVal = value;
    return result;
}

PROPVARIANT FileTimeProp(std::uint64_t fileTime) {
    PROPVARIANT result = Typed(VT_FILETIME);
    result.filetime = {static_cast<std::uint32_t>(fileTime),
                       static_cast<std::uint32_t>(fileTime >> 32)};
    return result;
}

PROPVARIANT TextProp(std::wstring_view text) {
    PROPVARIANT result = Typed(VT_BSTR);
    result.bstrVal = AllocBstr(text);
    return result;
}

std::uint64_t PropVariant::Number() const {
    switch (value_.vt) {
        case VT_BOOL:
            return value_.boolVal != 0 ? 1 : 0;
        case VT_UI4:
            return value_.ulVal;
        case VT_UI8:
            return value_.uhVal;
        default:
            return 0;
    }
}

std::wstring PropVariant::Text() const {
    if (value_.vt != VT_BSTR || value_.bstrVal == nullptr) return {};
    return value_.bstrVal;
}

std::uint64_t PropVariant::FileTime() const {
    if (value_.vt != VT_FILETIME) return 0;
    return (std::uint64_t{value_.filetime.dwHighDateTime} << 32) | value_.filetime.dwLowDateTime;
}

namespace {

// 1601-01-01 to 1970-01-01 in 100 ns ticks.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000;
using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;

}  // namespace

std::uint64_t ToFileTime(std::chrono::system_clock::time_point time) {
    const auto ticks = std::chrono::duration_cast<Ticks>(time.time_since_epoch()).count();
    return static_cast<std::uint64_t>(ticks + kUnixEpochTicks);
}

std::chrono::system_clock::time_point FromFileTime(std::uint64_t fileTime) {
    // An archive may give any 64 bits; the clock holds about 292 years around 1970, so a time
    // outside that is taken as the nearest one it can hold.
    // A day inside that range, so that rounding the time to seconds stays in it too.
    constexpr std::int64_t kLimit =
        std::chrono::duration_cast<Ticks>(std::chrono::system_clock::duration::max() -
                                          std::chrono::hours(24))
            .count();
    const std::int64_t since1601 = static_cast<std::int64_t>(
        std::min<std::uint64_t>(fileTime, std::numeric_limits<std::int64_t>::max()));
    const Ticks ticks(std::clamp(since1601 - kUnixEpochTicks, -kLimit, kLimit));
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(ticks));
}

}  // namespace archive::com

namespace archive {

namespace {

constexpr wchar_t kEscapedByte = 0xDC00;

// Length of the UTF-8 sequence at text[i] and its code point; 0 when it is not valid UTF-8.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& code) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC2 ? 2
                                        : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::wstring Widen(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, i, code);
        if (length == 0) {
            out += static_cast<wchar_t>(kEscapedByte + static_cast<unsigned char>(text[i]));
            ++i;
        } else {
            out += static_cast<wchar_t>(code);
            i += length;
        }
    }
    return out;
}

std::string Narrow(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        const auto code = static_cast<char32_t>(c);
        if (code >= kEscapedByte + 0x80 && code <= kEscapedByte + 0xFF) {
            out += static_cast<char>(code - kEscapedByte);
        } else if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, code);
        }
    }
    return out;
}

std::wstring UpperCase(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return text;
}

}  // namespace archive
