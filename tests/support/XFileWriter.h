// Writes binary .x files: token by token, or converted from a text .x file.
// Shared by the reader's tests and the fuzz seed maker.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xfile/XFileTokens.h"

class XBinaryWriter {
public:
    explicit XBinaryWriter(bool doubles = false)
        : doubles_(doubles), out_(doubles ? "xof 0303bin 0064" : "xof 0303bin 0032") {}
    XBinaryWriter& Name(const std::string& s) { return Token(kXTokenName).U32(uint32_t(s.size())).Raw(s.data(), s.size()); }
    XBinaryWriter& Integer(uint32_t v) { return Token(kXTokenInteger).U32(v); }
    XBinaryWriter& Guid(const unsigned char (&bytes)[16]) { return Token(kXTokenGuid).Raw(bytes, 16); }
    XBinaryWriter& Ints(const std::vector<uint32_t>& v) {
        Token(kXTokenIntegerList).U32(uint32_t(v.size()));
        for (uint32_t x : v) U32(x);
        return *this;
    }
    XBinaryWriter& Floats(const std::vector<double>& v) {
        Token(kXTokenFloatList).U32(uint32_t(v.size()));
        for (double x : v) {
            const float f = float(x);
            doubles_ ? Raw(&x, 8) : Raw(&f, 4);
        }
        return *this;
    }
    XBinaryWriter& Open() { return Token(kXTokenOpenBrace); }
    XBinaryWriter& Close() { return Token(kXTokenCloseBrace); }
    XBinaryWriter& Token(uint16_t t) { return Raw(&t, 2); }
    XBinaryWriter& U32(uint32_t v) { return Raw(&v, 4); }
    XBinaryWriter& Raw(const void* p, size_t n) {
        out_.append(static_cast<const char*>(p), n);
        return *this;
    }
    const std::string& str() const { return out_; }

private:
    bool doubles_;
    std::string out_;
};

// Turns a text .x file into the binary encoding. Runs of numbers become integer
// or float lists (a number with '.' or an exponent is a float); separators
// inside a run are dropped, as binary writers do.
inline std::string XTextToBinary(const std::string& text, bool doubles) {
    XBinaryWriter w(doubles);
    auto wordEnd = [](char c) { return c == '\0' || std::strchr(" \t\r\n{},;\"<[]()", c) != nullptr; };
    auto digit = [&](size_t i) { return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); };
    auto isFloat = [](const std::string& s) { return s.find_first_of(".eE") != std::string::npos; };
    std::vector<std::string> run;
    auto flushRun = [&] {
        for (size_t i = 0, j = 0; i < run.size(); i = j) {
            std::vector<uint32_t> ints;
            std::vector<double> floats;
            for (j = i; j < run.size() && isFloat(run[j]) == isFloat(run[i]); ++j) {
                isFloat(run[i]) ? floats.push_back(std::stod(run[j])) : ints.push_back(uint32_t(std::stoul(run[j])));
            }
            isFloat(run[i]) ? w.Floats(floats) : w.Ints(ints);
        }
        run.clear();
    };
    size_t i = 16;
    while (i < text.size()) {
        const char c = text[i];
        const size_t start = i;
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '#' || text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if ((c == ',' || c == ';') && !run.empty()) {
            ++i;
        } else if (digit(i) || (std::string_view("+-.").find(c) != std::string_view::npos && (digit(i + 1) || (i + 1 < text.size() && text[i + 1] == '.')))) {
            while (i < text.size() && !wordEnd(text[i])) ++i;
            run.push_back(text.substr(start, i - start));
        } else {
            flushRun();
            if (const size_t p = std::string_view("{},;[]").find(c); p != std::string_view::npos) {
                const uint16_t codes[] = {kXTokenOpenBrace, kXTokenCloseBrace, kXTokenComma, kXTokenSemicolon,
                                         kXTokenOpenBracket, kXTokenCloseBracket};
                w.Token(codes[p]);
                ++i;
            } else if (c == '"') {
                const size_t close = text.find('"', i + 1);
                if (close == std::string::npos) throw std::runtime_error("unterminated string");
                w.Token(kXTokenString).U32(uint32_t(close - i - 1)).Raw(text.data() + i + 1, close - i - 1);
                i = close + 1;
            } else if (c == '<') {
                const size_t close = text.find('>', i);
                if (close == std::string::npos) throw std::runtime_error("unterminated GUID");
                std::string hex;
                for (; i < close; ++i) {
                    if (std::isxdigit(static_cast<unsigned char>(text[i]))) hex += text[i];
                }
                hex.resize(32, '0');
                unsigned char bytes[16];
                for (size_t k = 0; k < 16; ++k) bytes[k] = static_cast<unsigned char>(std::stoul(hex.substr(2 * k, 2), nullptr, 16));
                w.Guid(bytes);
                i = close + 1;
            } else {
                while (i < text.size() && !wordEnd(text[i])) ++i;
                if (i == start) ++i;
                const std::string word = text.substr(start, i - start);
                word == "template" ? w.Token(kXTokenTemplate) : w.Name(word);
            }
        }
    }
    flushRun();
    return w.str();
}
