#include "platform/registry/hive_text.h"

#include <charconv>
#include <cstdint>

namespace platform::registry {

namespace {

constexpr std::string_view kSignature = "; Korvex registry 1";
constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHexByte(std::string& out, unsigned char byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads two hex digits at text[at]; -1 when there are not two.
int HexByteAt(std::string_view text, std::size_t at) {
    if (at + 2 > text.size()) return -1;
    const int high = HexDigitValue(text[at]);
    const int low = HexDigitValue(text[at + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Length of the well-formed UTF-8 sequence of two or more bytes that starts at text[at]; 0 when
// there is none (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

// Appends text with every byte for which isPlain is false written by escape, except the bytes of
// well-formed UTF-8 sequences, which stay readable.
template <typename IsPlain, typename Escape>
void AppendEscaped(std::string& out, std::string_view text, IsPlain isPlain, Escape escape) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (const std::size_t length = Utf8SequenceAt(text, i); length > 0) {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
        }
        if (c >= 0x20 && c < 0x7F && isPlain(static_cast<char>(c))) {
            out += static_cast<char>(c);
        } else {
            escape(out, c);
        }
        ++i;
    }
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    AppendEscaped(
        out, text, [](char c) { return c != '"' && c != '\\'; },
        [](std::string& to, unsigned char c) {
            switch (c) {
                case '"':
                    to += "\\\"";
                    break;
                case '\\':
                    to += "\\\\";
                    break;
                case '\n':
                    to += "\\n";
                    break;
                case '\r':
                    to += "\\r";
                    break;
                case '\t':
                    to += "\\t";
                    break;
                default:
                    to += "\\x";
                    AppendHexByte(to, c);
            }
        });
    out += '"';
}

void AppendKeyName(std::string& out, std::string_view name) {
    AppendEscaped(
        out, name, [](char c) { return c != '%' && c != '[' && c != ']' && c != '\\'; },
        [](std::string& to, unsigned char c) {
            to += '%';
            AppendHexByte(to, c);
        });
}

std::string_view AsText(const std::vector<std::byte>& data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

void AppendValue(std::string& out, const Value& value) {
    if (value.name.empty()) {
        out += '@';
    } else {
        AppendQuoted(out, value.name);
    }
    out += '=';
    const std::string_view bytes = AsText(value.data);
    const bool textual = (value.type == REG_SZ || value.type == REG_EXPAND_SZ) && !bytes.empty() &&
                         bytes.back() == '\0';
    if (textual) {
        out += value.type == REG_SZ ? "sz:" : "expand_sz:";
        AppendQuoted(out, bytes.substr(0, bytes.size() - 1));
    } else if (value.type == REG_DWORD && bytes.size() == 4) {
        out += "dword:";
        for (std::size_t i = 4; i-- > 0;) AppendHexByte(out, static_cast<unsigned char>(bytes[i]));
    } else {
        out += "hex(" + std::to_string(value.type) + "):";
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0) out += ',';
            AppendHexByte(out, static_cast<unsigned char>(bytes[i]));
        }
    }
    out += '\n';
}

void AppendKey(std::string& out, const KeyNode& key, const std::string& header, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += "\n[" + header + "]\n";
        for (const Value& value : key.values) AppendValue(out, value);
    }
    for (const KeyNode& subkey : key.subkeys) {
        std::string path = header + '\\';
        AppendKeyName(path, subkey.name);
        AppendKey(out, subkey, path, false);
    }
}

// Reading, line by line. Each step takes what it understands from the front of rest.
class LineReader {
public:
    explicit LineReader(std::string_view line) : rest_(line) {}

    bool Take(char c) {
        if (rest_.empty() || rest_.front() != c) return false;
        rest_.remove_prefix(1);
        return true;
    }
    bool Take(std::string_view prefix) {
        if (!rest_.starts_with(prefix)) return false;
        rest_.remove_prefix(prefix.size());
        return true;
    }
    bool AtEnd() const { return rest_.empty(); }

    // A quoted text with its escapes resolved.
    std::optional<std::string> Quoted() {
        if (!Take('"')) return std::nullopt;
        std::string text;
        while (!rest_.empty()) {
            const char c = rest_.front();
            rest_.remove_prefix(1);
            if (c == '"') return text;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (rest_.empty()) return std::nullopt;
            const char escape = rest_.front();
            rest_.remove_prefix(1);
            switch (escape) {
                case '"':
                case '\\':
                    text += escape;
                    break;
                case 'n':
                    text += '\n';
                    break;
                case 'r':
                    text += '\r';
                    break;
                case 't':
                    text += '\t';
                    break;
                case 'x': {
                    const int byte = HexByteAt(rest_, 0);
                    if (byte < 0) return std::nullopt;
                    text += static_cast<char>(byte);
                    rest_.remove_prefix(2);
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        return std::nullopt;
    }

    // Two hex digits as one byte.
    std::optional<std::byte> HexByte() {
        const int byte = HexByteAt(rest_, 0);
        if (byte < 0) return std::nullopt;
        rest_.remove_prefix(2);
        return static_cast<std::byte>(byte);
    }

    // A decimal 32-bit unsigned number.
    std::optional<std::uint32_t> Decimal() {
        std::uint32_t number = 0;
        const auto [end, error] =
            std::from_chars(rest_.data(), rest_.data() + rest_.size(), number);
        if (error != std::errc() || end == rest_.data()) return std::nullopt;
        rest_.remove_prefix(static_cast<std::size_t>(end - rest_.data()));
        return number;
    }

private:
    std::string_view rest_;
};

std::optional<std::string> DecodeKeyName(std::string_view escaped) {
    std::string name;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '%') {
            name += escaped[i];
            continue;
        }
        const int byte = HexByteAt(escaped, i + 1);
        if (byte < 0) return std::nullopt;
        name += static_cast<char>(byte);
        i += 2;
    }
    if (name.empty()) return std::nullopt;
    return name;
}

// The key a header line names, made in tree; null when the header is malformed.
KeyNode* ParseHeader(std::string_view line, HiveTree& tree) {
    if (line.size() < 2 || line.back() != ']') return nullptr;
    const std::optional<std::vector<std::string>> escaped =
        SplitKeyPath(line.substr(1, line.size() - 2));
    if (!escaped || escaped->empty()) return nullptr;
    KeyNode* key = nullptr;
    for (Root root : {Root::CurrentUser, Root::LocalMachine}) {
        if (NamesEqual(escaped->front(), tree.Node(root).name)) key = &tree.Node(root);
    }
    if (key == nullptr) return nullptr;
    for (std::size_t i = 1; i < escaped->size(); ++i) {
        std::optional<std::string> name = DecodeKeyName((*escaped)[i]);
        if (!name) return nullptr;
        bool created = false;
        key = &CreateKey(*key, std::span(&*name, 1), created);
    }
    return key;
}

// Reads one value line into key; false when it is malformed or names a value key already has.
bool ParseValue(std::string_view line, KeyNode& key) {
    LineReader reader(line);
    std::string name;
    if (!reader.Take('@')) {
        std::optional<std::string> quoted = reader.Quoted();
        if (!quoted || quoted->empty()) return false;
        name = std::move(*quoted);
    }
    if (!reader.Take('=') || key.FindValue(name) != nullptr) return false;

    ValueType type = REG_NONE;
    std::vector<std::byte> data;
    const bool plainText = reader.Take("sz:");
    if (plainText || reader.Take("expand_sz:")) {
        type = plainText ? REG_SZ : REG_EXPAND_SZ;
        const std::optional<std::string> text = reader.Quoted();
        if (!text) return false;
        for (char c : *text) data.push_back(static_cast<std::byte>(c));
        data.push_back(std::byte{0});
    } else if (reader.Take("dword:")) {
        type = REG_DWORD;
        data.resize(4);
        for (std::size_t i = 4; i-- > 0;) {
            const std::optional<std::byte> byte = reader.HexByte();
            if (!byte) return false;
            data[i] = *byte;
        }
    } else if (reader.Take("hex(")) {
        const std::optional<std::uint32_t> number = reader.Decimal();
        if (!number || !reader.Take("):")) return false;
        type = *number;
        while (!reader.AtEnd()) {
            if (!data.empty() && !reader.Take(',')) return false;
            const std::optional<std::byte> byte = reader.HexByte();
            if (!byte) return false;
            data.push_back(*byte);
        }
    } else {
        return false;
    }
    if (!reader.AtEnd()) return false;
    key.values.push_back(Value{std::move(name), type, std::move(data)});
    return true;
}

}  // namespace

std::string FormatHive(const HiveTree& tree) {
    std::string out(kSignature);
    out += '\n';
    for (Root root : {Root::CurrentUser, Root::LocalMachine}) {
        const KeyNode& node = tree.Node(root);
        AppendKey(out, node, node.name, true);
    }
    return out;
}

std::optional<HiveTree> ParseHive(std::string_view text) {
    if (!text.starts_with(kSignature)) return std::nullopt;
    HiveTree tree;
    KeyNode* key = nullptr;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        // Bytes of names and texts never stand raw in a line, so a CR here is an editor's.
        if (line.ends_with('\r')) line.remove_suffix(1);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (first) {
            if (line != kSignature) return std::nullopt;
            first = false;
        } else if (line.empty() || line.front() == ';') {
            continue;
        } else if (line.front() == '[') {
            key = ParseHeader(line, tree);
            if (key == nullptr) return std::nullopt;
        } else if (key == nullptr || !ParseValue(line, *key)) {
            return std::nullopt;
        }
    }
    return tree;
}

}  // namespace platform::registry
