#include "platform/xfile/XFile.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <unordered_map>

#include "base/Errors.h"
#include "base/Maths.h"
#include "platform/xfile/XFileTokens.h"

namespace {

constexpr int kMaxDepth = 64;
// The largest decompressed body accepted from an MSZIP file.
constexpr uint32_t kMaxDecompressed = 256u * 1024u * 1024u;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::string LowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

// Where error positions point: the text for line and column, or the byte
// offset of the body within the file (or within the decompressed data).
struct ErrorSite {
    std::string name;
    std::string_view body;
    bool binary = false;
    bool compressed = false;

    [[noreturn]] void Fail(size_t offset, const std::string& message) const {
        std::string where;
        if (binary) {
            const size_t fileOffset = compressed ? offset : offset + 16;
            where = "byte offset " + std::to_string(fileOffset) + (compressed ? " of the decompressed data" : "");
        } else {
            // The body starts right after the 16-byte header on line 1.
            size_t line = 1, column = compressed ? 1 : 17;
            const size_t end = std::min(offset, body.size());
            for (size_t i = 0; i < end; ++i) {
                if (body[i] == '\n') {
                    ++line;
                    column = 1;
                } else {
                    ++column;
                }
            }
            where = "line " + std::to_string(line) + ", column " + std::to_string(column) +
                    (compressed ? " of the decompressed text" : "");
        }
        throw ContentError(name + ": " + where + ": " + message);
    }
};

enum class Tok : uint8_t { End, Name, String, Int, Float, Guid, LBrace, RBrace, Comma, Semi, Template, Other };

struct Token {
    Tok kind = Tok::End;
    size_t offset = 0;
    std::string_view text;  // names, strings, GUIDs and the words of text numbers
    uint32_t bits = 0;      // integer value, or the raw bits of a 4-byte binary list element
    double value = 0;       // numeric value
    bool listElement = false;
    bool wide = false;  // element of a 64-bit float list
};

std::string Describe(const Token& t) {
    switch (t.kind) {
        case Tok::End: return "end of file";
        case Tok::Name: return "name '" + std::string(t.text) + "'";
        case Tok::String: return "string";
        case Tok::Int:
        case Tok::Float: return "number";
        case Tok::Guid: return "GUID";
        case Tok::LBrace: return "'{'";
        case Tok::RBrace: return "'}'";
        case Tok::Comma: return "','";
        case Tok::Semi: return "';'";
        case Tok::Template: return "'template'";
        case Tok::Other: return "punctuation";
    }
    return "token";
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0' || c == '\f' || c == '\v'; }

bool EndsWord(char c) {
    return IsBlank(c) || c == '{' || c == '}' || c == '[' || c == ']' || c == '(' || c == ')' || c == ',' ||
           c == ';' || c == '"' || c == '<';
}

// Streams tokens from a text or binary body. Numbers of binary lists come out
// one at a time, so the lists need not line up with the template members.
class Lexer {
public:
    Lexer(const ErrorSite& site, std::string_view body, bool binary, int floatBytes, size_t start, size_t& budget)
        : site_(site), s_(body), pos_(start), binary_(binary), floatBytes_(floatBytes), budget_(budget) {}

    const Token& Peek() {
        if (!hasPeek_) {
            // References re-read earlier objects; the budget stops chains of them
            // from multiplying the work beyond a small multiple of the file.
            if (budget_ == 0) Fail(pos_, "references expand to more data than the file can describe");
            --budget_;
            peekStart_ = pos_;
            peek_ = binary_ ? LexBinary() : LexText();
            hasPeek_ = true;
        }
        return peek_;
    }

    Token Next() {
        Peek();
        hasPeek_ = false;
        return peek_;
    }

    // Where lexing resumes to give the next token again; only meaningful
    // between objects, where no binary list is pending.
    size_t Position() const { return hasPeek_ ? peekStart_ : pos_; }

    // An upper bound on the numbers the rest of the body can hold.
    size_t NumbersLeft() const {
        const size_t bytes = s_.size() - pos_;
        const size_t peeked = hasPeek_ ? 1 : 0;
        if (binary_) return listLeft_ + bytes / 4 + peeked;
        return bytes + peeked;
    }

    [[noreturn]] void Fail(size_t offset, const std::string& message) const { site_.Fail(offset, message); }
    [[noreturn]] void FailAt(const Token& t, const std::string& message) const { site_.Fail(t.offset, message); }

private:
    Token Make(Tok kind, size_t offset, std::string_view text = {}) {
        Token t;
        t.kind = kind;
        t.offset = offset;
        t.text = text;
        return t;
    }

    Token LexText() {
        for (;;) {
            while (pos_ < s_.size() && IsBlank(s_[pos_])) ++pos_;
            if (pos_ >= s_.size()) return Make(Tok::End, pos_);
            const char c = s_[pos_];
            if (c == '#' || (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/')) {
                while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
                continue;
            }
            break;
        }
        const size_t start = pos_;
        const char c = s_[pos_];
        switch (c) {
            case '{': ++pos_; return Make(Tok::LBrace, start);
            case '}': ++pos_; return Make(Tok::RBrace, start);
            case ',': ++pos_; return Make(Tok::Comma, start);
            case ';': ++pos_; return Make(Tok::Semi, start);
            case '[':
            case ']':
            case '(':
            case ')': ++pos_; return Make(Tok::Other, start);
            case '"': {
                const size_t close = s_.find('"', pos_ + 1);
                if (close == std::string_view::npos) Fail(start, "unterminated string");
                pos_ = close + 1;
                return Make(Tok::String, start, s_.substr(start + 1, close - start - 1));
            }
            case '<': {
                const size_t close = s_.find('>', pos_ + 1);
                if (close == std::string_view::npos) Fail(start, "unterminated GUID");
                pos_ = close + 1;
                return Make(Tok::Guid, start, s_.substr(start + 1, close - start - 1));
            }
            default: break;
        }
        while (pos_ < s_.size() && !EndsWord(s_[pos_])) ++pos_;
        return Classify(s_.substr(start, pos_ - start), start);
    }

    Token Classify(std::string_view w, size_t offset) {
        Token t = Make(Tok::Name, offset, w);
        size_t i = (w[0] == '+' || w[0] == '-') ? 1 : 0;
        const bool numeric =
            i < w.size() && (IsDigit(w[i]) || (w[i] == '.' && i + 1 < w.size() && IsDigit(w[i + 1])));
        if (!numeric) {
            if (IEquals(w, "template")) t.kind = Tok::Template;
            if (w == ".") t.kind = Tok::Other;
            return t;
        }
        const bool negative = w[0] == '-';
        if (!negative && std::all_of(w.begin() + i, w.end(), IsDigit)) {
            uint64_t v = 0;
            const auto r = std::from_chars(w.data() + i, w.data() + w.size(), v);
            if (r.ec != std::errc() || v > std::numeric_limits<uint32_t>::max()) {
                Fail(offset, "integer " + std::string(w) + " out of range");
            }
            t.kind = Tok::Int;
            t.bits = uint32_t(v);
            t.value = double(v);
            return t;
        }
        // Old compilers wrote NaN and infinity as 1.#QNAN0, -1.#IND00 or 1.#INF00.
        const size_t hash = w.find(".#");
        if (hash != std::string_view::npos) {
            const std::string_view tag = w.substr(hash + 2);
            if (tag.rfind("INF", 0) == 0) {
                t.kind = Tok::Float;
                t.value = negative ? -HUGE_VAL : HUGE_VAL;
                return t;
            }
            if (tag.rfind("QNAN", 0) == 0 || tag.rfind("SNAN", 0) == 0 || tag.rfind("IND", 0) == 0) {
                t.kind = Tok::Float;
                t.value = std::numeric_limits<double>::quiet_NaN();
                return t;
            }
            return t;
        }
        double v = 0;
        const char* first = w.data() + (w[0] == '+' ? 1 : 0);
        const auto r = std::from_chars(first, w.data() + w.size(), v);
        if (r.ptr != w.data() + w.size()) return t;  // a name that starts like a number
        if (r.ec == std::errc::result_out_of_range) Fail(offset, "number " + std::string(w) + " out of range");
        t.kind = Tok::Float;
        t.value = v;
        return t;
    }

    size_t Remaining() const { return s_.size() - pos_; }

    const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(s_.data()) + pos_; }

    uint32_t TakeCount(size_t tokenStart, size_t elementBytes, const char* what) {
        if (Remaining() < 4) Fail(tokenStart, std::string("truncated ") + what);
        const uint32_t count = ReadLittle32(Bytes());
        pos_ += 4;
        if (uint64_t(count) * elementBytes > Remaining()) {
            Fail(tokenStart, std::string(what) + " of " + std::to_string(count) + " elements runs past the end");
        }
        return count;
    }

    Token ListElement() {
        Token t = Make(listFloat_ ? Tok::Float : Tok::Int, pos_);
        t.listElement = true;
        if (listFloat_ && floatBytes_ == 8) {
            double d;
            std::memcpy(&d, Bytes(), 8);
            t.value = d;
            t.wide = true;
            pos_ += 8;
        } else {
            t.bits = ReadLittle32(Bytes());
            if (listFloat_) {
                float f;
                std::memcpy(&f, Bytes(), 4);
                t.value = f;
            } else {
                t.value = t.bits;
            }
            pos_ += 4;
        }
        --listLeft_;
        return t;
    }

    Token LexBinary() {
        for (;;) {
            if (listLeft_ > 0) return ListElement();
            if (Remaining() == 0) return Make(Tok::End, pos_);
            const size_t start = pos_;
            if (Remaining() < 2) Fail(start, "truncated token");
            const uint16_t code = ReadLittle16(Bytes());
            pos_ += 2;
            switch (code) {
                case kXTokenName: {
                    const uint32_t n = TakeCount(start, 1, "name");
                    const std::string_view text = s_.substr(pos_, n);
                    pos_ += n;
                    return Make(Tok::Name, start, text);
                }
                case kXTokenString: {
                    const uint32_t n = TakeCount(start, 1, "string");
                    const std::string_view text = s_.substr(pos_, n);
                    pos_ += n;
                    // A string is followed by its own ';' or ',' token.
                    if (Remaining() >= 2) {
                        const uint16_t terminator = ReadLittle16(Bytes());
                        if (terminator == kXTokenComma || terminator == kXTokenSemicolon) pos_ += 2;
                    }
                    return Make(Tok::String, start, text);
                }
                case kXTokenInteger: {
                    if (Remaining() < 4) Fail(start, "truncated integer");
                    Token t = Make(Tok::Int, start);
                    t.bits = ReadLittle32(Bytes());
                    t.value = t.bits;
                    pos_ += 4;
                    return t;
                }
                case kXTokenGuid: {
                    if (Remaining() < 16) Fail(start, "truncated GUID");
                    pos_ += 16;
                    return Make(Tok::Guid, start, s_.substr(start + 2, 16));
                }
                case kXTokenIntegerList:
                    listLeft_ = TakeCount(start, 4, "integer list");
                    listFloat_ = false;
                    continue;
                case kXTokenFloatList:
                    listLeft_ = TakeCount(start, size_t(floatBytes_), "float list");
                    listFloat_ = true;
                    continue;
                case kXTokenOpenBrace: return Make(Tok::LBrace, start);
                case kXTokenCloseBrace: return Make(Tok::RBrace, start);
                case kXTokenComma: return Make(Tok::Comma, start);
                case kXTokenSemicolon: return Make(Tok::Semi, start);
                case kXTokenTemplate: return Make(Tok::Template, start);
                default:
                    if ((code >= kXTokenOpenParen && code <= kXTokenDot) ||
                        (code >= kXTokenFirstKeyword && code <= kXTokenLastKeyword)) {
                        return Make(Tok::Other, start);
                    }
                    Fail(start, "unknown token " + std::to_string(code));
            }
        }
    }

    const ErrorSite& site_;
    std::string_view s_;
    size_t pos_;
    bool binary_;
    int floatBytes_;
    size_t& budget_;
    uint32_t listLeft_ = 0;
    bool listFloat_ = false;
    bool hasPeek_ = false;
    size_t peekStart_ = 0;
    Token peek_;
};

using Matrix = D3DMATRIX;

constexpr const Matrix& kIdentity = kIdentityMatrix;

// Compared as numbers: exporters often write -0.0, which is still the identity.
bool IsIdentity(const Matrix& m) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (m.m[r][c] != kIdentity.m[r][c]) return false;
        }
    }
    return true;
}

struct Vec3 {
    float x, y, z;
    bool operator==(const Vec3&) const = default;
};

// One Mesh object as read, before splitting and merging.
struct MeshPart {
    Matrix transform = kIdentity;
    std::vector<Vec3> positions;
    std::vector<uint32_t> faceStart;  // faces + 1 entries into corners
    std::vector<uint32_t> corners;
    bool hasNormals = false;
    std::vector<Vec3> normals;
    std::vector<uint32_t> normalCorners;
    bool hasUVs = false;
    std::vector<std::array<float, 2>> uvs;
    bool hasColors = false;
    std::vector<D3DCOLOR> colors;
    bool hasMaterialList = false;
    std::vector<uint32_t> faceMaterials;
    std::vector<XMaterial> materials;
};

struct Header {
    Token identifier;
    std::string_view name;
    size_t bodyStart = 0;
};

struct NamedObject {
    std::string identifier;
    size_t bodyStart;
};

class Parser {
public:
    Parser(const ErrorSite& site, std::string_view body, bool binary, int floatBytes)
        : site_(site), body_(body), binary_(binary), floatBytes_(floatBytes), budget_(16 * body.size() + 4096) {}

    std::vector<MeshPart> Run() {
        Lexer lex(site_, body_, binary_, floatBytes_, 0, budget_);
        for (;;) {
            const Token& t = lex.Peek();
            if (t.kind == Tok::End) break;
            if (t.kind == Tok::Semi || t.kind == Tok::Comma) {
                lex.Next();
                continue;
            }
            if (t.kind == Tok::Template) {
                SkipTemplate(lex);
                continue;
            }
            if (t.kind != Tok::Name) lex.FailAt(t, "expected an object, found " + Describe(t));
            const Header h = ReadHeader(lex);
            if (IEquals(h.identifier.text, "Mesh")) {
                ParseMesh(lex, kIdentity, 1);
            } else if (IEquals(h.identifier.text, "Frame")) {
                ParseFrame(lex, kIdentity, 1);
            } else {
                SkipBody(lex);
            }
        }
        return std::move(parts_);
    }

private:
    // identifier [name] '{' [GUID]; records named objects for references.
    Header ReadHeader(Lexer& lex) {
        Header h;
        h.identifier = lex.Next();
        const Token& nameTok = lex.Peek();
        if (nameTok.kind == Tok::Name || (!binary_ && (nameTok.kind == Tok::Int || nameTok.kind == Tok::Float))) {
            h.name = lex.Next().text;
        }
        const Token open = lex.Next();
        if (open.kind != Tok::LBrace) {
            lex.FailAt(open, "expected '{' after '" + std::string(h.identifier.text) + "', found " + Describe(open));
        }
        std::string_view guid;
        if (lex.Peek().kind == Tok::Guid) guid = lex.Next().text;
        h.bodyStart = lex.Position();
        const NamedObject entry{std::string(h.identifier.text), h.bodyStart};
        if (!h.name.empty()) names_.insert_or_assign(LowerCopy(h.name), entry);
        if (!guid.empty()) names_.insert_or_assign(LowerCopy(guid), entry);
        return h;
    }

    void SkipTemplate(Lexer& lex) {
        lex.Next();
        const Token name = lex.Next();
        if (name.kind != Tok::Name) lex.FailAt(name, "expected a template name");
        const Token open = lex.Next();
        if (open.kind != Tok::LBrace) lex.FailAt(open, "expected '{' after the template name");
        SkipBody(lex);
    }

    // Skips to the '}' that closes the current object.
    void SkipBody(Lexer& lex) {
        int depth = 1;
        for (;;) {
            const Token t = lex.Next();
            if (t.kind == Tok::End) lex.FailAt(t, "unexpected end of file: '}' missing");
            if (t.kind == Tok::LBrace) ++depth;
            if (t.kind == Tok::RBrace && --depth == 0) return;
        }
    }

    void SkipSeparators(Lexer& lex) {
        while (lex.Peek().kind == Tok::Semi || lex.Peek().kind == Tok::Comma) lex.Next();
    }

    uint32_t ReadDword(Lexer& lex, const char* what) {
        SkipSeparators(lex);
        const Token t = lex.Next();
        if (t.kind == Tok::Int) return t.bits;
        if (t.kind == Tok::Float && t.listElement && !t.wide) return t.bits;
        lex.FailAt(t, std::string("expected an integer (") + what + "), found " + Describe(t));
    }

    float ReadFloat(Lexer& lex, const char* what) {
        SkipSeparators(lex);
        const Token t = lex.Next();
        double v;
        if (t.kind == Tok::Float) {
            v = t.value;
        } else if (t.kind == Tok::Int && t.listElement) {
            float f;
            std::memcpy(&f, &t.bits, 4);
            v = f;
        } else if (t.kind == Tok::Int) {
            v = t.value;
        } else {
            lex.FailAt(t, std::string("expected a number (") + what + "), found " + Describe(t));
        }
        const float f = static_cast<float>(v);
        if (!std::isfinite(f)) lex.FailAt(t, std::string("not a finite number (") + what + ")");
        return f;
    }

    std::string_view ReadString(Lexer& lex, const char* what) {
        SkipSeparators(lex);
        const Token t = lex.Next();
        if (t.kind != Tok::String) lex.FailAt(t, std::string("expected a string (") + what + "), found " + Describe(t));
        return t.text;
    }

    // Reads a count and checks that the file can still hold `numbersEach` numbers per element.
    uint32_t ReadCount(Lexer& lex, const char* what, size_t numbersEach) {
        SkipSeparators(lex);
        const size_t offset = lex.Peek().offset;
        const uint32_t n = ReadDword(lex, what);
        if (uint64_t(n) * numbersEach > lex.NumbersLeft()) {
            lex.Fail(offset, std::string(what) + " " + std::to_string(n) + " is more than the file holds");
        }
        return n;
    }

    Vec3 ReadVector(Lexer& lex, const char* what) {
        Vec3 v;
        v.x = ReadFloat(lex, what);
        v.y = ReadFloat(lex, what);
        v.z = ReadFloat(lex, what);
        return v;
    }

    // A child of the current object: an object (its header read), a reference, or the closing '}'.
    struct Child {
        enum Kind { Close, Object, Reference } kind;
        Header header;
        Token token;
    };

    Child NextChild(Lexer& lex) {
        SkipSeparators(lex);
        // Template declarations among the children are skipped in a loop, so
        // that a long run of them cannot exhaust the stack.
        while (lex.Peek().kind == Tok::Template) {
            SkipTemplate(lex);
            SkipSeparators(lex);
        }
        const Token& t = lex.Peek();
        if (t.kind == Tok::RBrace) {
            lex.Next();
            return Child{Child::Close, {}, {}};
        }
        if (t.kind == Tok::Name) return Child{Child::Object, ReadHeader(lex), {}};
        if (t.kind == Tok::LBrace) {
            const Token open = lex.Next();
            Token target;
            for (;;) {
                const Token r = lex.Next();
                if (r.kind == Tok::RBrace) break;
                if (r.kind == Tok::Name || r.kind == Tok::Guid) {
                    if (target.kind != Tok::Name) target = r;
                    continue;
                }
                lex.FailAt(r, "malformed reference: found " + Describe(r));
            }
            if (target.kind == Tok::End) lex.FailAt(open, "empty reference");
            return Child{Child::Reference, {}, target};
        }
        if (t.kind == Tok::End) lex.FailAt(t, "unexpected end of file: '}' missing");
        lex.FailAt(t, "unexpected " + Describe(t));
    }

    // Resolves a reference to an earlier object and hands a lexer over its body.
    // The template name of a child object, with a lexer over the referenced
    // object's body when the child is a reference (null when it is inline).
    std::pair<std::string, std::unique_ptr<Lexer>> Identify(Lexer& lex, const Child& c) {
        if (c.kind == Child::Reference) return Resolve(lex, c.token);
        return {std::string(c.header.identifier.text), nullptr};
    }

    // Calls `visit(identifier, body)` for each child object up to the closing
    // brace, inline or referenced; an inline child that `visit` does not take
    // (returns false for) is skipped.
    template <typename Visit>
    void ForEachChild(Lexer& lex, Visit visit) {
        for (;;) {
            Child c = NextChild(lex);
            if (c.kind == Child::Close) return;
            auto [identifier, resolved] = Identify(lex, c);
            if (!visit(identifier, resolved ? *resolved : lex) && !resolved) SkipBody(lex);
        }
    }

    // Reads an index that must lie below `limit`; fails at the index with the
    // message `outOfRange` makes from it otherwise.
    template <typename Message>
    uint32_t ReadIndex(Lexer& lex, const char* what, uint32_t limit, Message outOfRange) {
        SkipSeparators(lex);
        const size_t at = lex.Peek().offset;
        const uint32_t index = ReadDword(lex, what);
        if (index >= limit) lex.Fail(at, outOfRange(index));
        return index;
    }

    std::pair<std::string, std::unique_ptr<Lexer>> Resolve(Lexer& lex, const Token& target) {
        const auto it = names_.find(LowerCopy(target.text));
        if (it == names_.end()) {
            lex.FailAt(target, "reference to unknown object '" + std::string(target.text) + "'");
        }
        return {it->second.identifier,
                std::make_unique<Lexer>(site_, body_, binary_, floatBytes_, it->second.bodyStart, budget_)};
    }

    void CheckDepth(Lexer& lex, int depth) {
        if (depth > kMaxDepth) lex.Fail(lex.Peek().offset, "objects nested too deeply");
    }

    // Skips whatever children remain up to the object's '}'.
    void SkipChildren(Lexer& lex) {
        for (;;) {
            const Child c = NextChild(lex);
            if (c.kind == Child::Close) return;
            if (c.kind == Child::Object) SkipBody(lex);
        }
    }

    void ParseFrame(Lexer& lex, const Matrix& parent, int depth) {
        CheckDepth(lex, depth);
        Matrix current = parent;
        ForEachChild(lex, [&](const std::string& identifier, Lexer& body) {
            if (IEquals(identifier, "FrameTransformMatrix")) {
                current = MatrixProduct(ParseMatrix(body), current);
            } else if (IEquals(identifier, "Mesh")) {
                ParseMesh(body, current, depth + 1);
            } else if (IEquals(identifier, "Frame")) {
                ParseFrame(body, current, depth + 1);
            } else {
                return false;
            }
            return true;
        });
    }

    Matrix ParseMatrix(Lexer& lex) {
        Matrix m;
        for (auto& row : m.m) {
            for (float& v : row) v = ReadFloat(lex, "frame matrix");
        }
        SkipChildren(lex);
        return m;
    }

    void ParseMesh(Lexer& lex, const Matrix& transform, int depth) {
        CheckDepth(lex, depth);
        MeshPart part;
        part.transform = transform;
        const uint32_t nVertices = ReadCount(lex, "vertex count", 3);
        part.positions.reserve(nVertices);
        for (uint32_t i = 0; i < nVertices; ++i) part.positions.push_back(ReadVector(lex, "vertex"));
        const uint32_t nFaces = ReadCount(lex, "face count", 4);
        part.faceStart.reserve(size_t(nFaces) + 1);
        part.faceStart.push_back(0);
        for (uint32_t f = 0; f < nFaces; ++f) {
            SkipSeparators(lex);
            const size_t at = lex.Peek().offset;
            const uint32_t n = ReadCount(lex, "face corner count", 1);
            if (n < 3) lex.Fail(at, "face " + std::to_string(f) + " has " + std::to_string(n) + " corners");
            for (uint32_t k = 0; k < n; ++k) {
                part.corners.push_back(ReadIndex(lex, "face index", nVertices, [&](uint32_t v) {
                    return "face " + std::to_string(f) + " uses vertex " + std::to_string(v) + " of " +
                           std::to_string(nVertices);
                }));
            }
            part.faceStart.push_back(uint32_t(part.corners.size()));
        }
        ForEachChild(lex, [&](const std::string& identifier, Lexer& body) {
            if (IEquals(identifier, "MeshNormals")) {
                ParseNormals(body, part);
            } else if (IEquals(identifier, "MeshTextureCoords")) {
                ParseTextureCoords(body, part);
            } else if (IEquals(identifier, "MeshVertexColors")) {
                ParseVertexColors(body, part);
            } else if (IEquals(identifier, "MeshMaterialList")) {
                ParseMaterialList(body, part, depth + 1);
            } else {
                return false;
            }
            return true;
        });
        if (nVertices > 0) parts_.push_back(std::move(part));
    }

    void ParseNormals(Lexer& lex, MeshPart& part) {
        const uint32_t n = ReadCount(lex, "normal count", 3);
        std::vector<Vec3> normals;
        normals.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            Vec3 v = ReadVector(lex, "normal");
            const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            if (len > 0) v = Vec3{v.x / len, v.y / len, v.z / len};
            normals.push_back(v);
        }
        SkipSeparators(lex);
        const size_t countAt = lex.Peek().offset;
        const uint32_t nFaces = ReadCount(lex, "normal face count", 4);
        const uint32_t meshFaces = uint32_t(part.faceStart.size() - 1);
        if (nFaces != meshFaces) {
            lex.Fail(countAt, "normals list " + std::to_string(nFaces) + " faces for a mesh of " +
                                  std::to_string(meshFaces));
        }
        std::vector<uint32_t> corners;
        corners.reserve(part.corners.size());
        for (uint32_t f = 0; f < nFaces; ++f) {
            SkipSeparators(lex);
            const size_t at = lex.Peek().offset;
            const uint32_t k = ReadDword(lex, "normal face corner count");
            if (k != part.faceStart[f + 1] - part.faceStart[f]) {
                lex.Fail(at, "normal face " + std::to_string(f) + " has " + std::to_string(k) +
                                 " corners, its face has " + std::to_string(part.faceStart[f + 1] - part.faceStart[f]));
            }
            for (uint32_t i = 0; i < k; ++i) {
                corners.push_back(ReadIndex(lex, "normal index", n, [&](uint32_t idx) {
                    return "normal index " + std::to_string(idx) + " of " + std::to_string(n) + " normals";
                }));
            }
        }
        SkipChildren(lex);
        part.hasNormals = true;
        part.normals = std::move(normals);
        part.normalCorners = std::move(corners);
    }

    void ParseTextureCoords(Lexer& lex, MeshPart& part) {
        SkipSeparators(lex);
        const size_t at = lex.Peek().offset;
        const uint32_t n = ReadCount(lex, "texture coordinate count", 2);
        if (n != part.positions.size()) {
            lex.Fail(at, std::to_string(n) + " texture coordinates for " + std::to_string(part.positions.size()) +
                             " vertices");
        }
        std::vector<std::array<float, 2>> uvs(n);
        for (auto& uv : uvs) {
            uv[0] = ReadFloat(lex, "texture coordinate");
            uv[1] = ReadFloat(lex, "texture coordinate");
        }
        SkipChildren(lex);
        part.hasUVs = true;
        part.uvs = std::move(uvs);
    }

    void ParseVertexColors(Lexer& lex, MeshPart& part) {
        const uint32_t n = ReadCount(lex, "vertex colour count", 5);
        std::vector<D3DCOLOR> colors(part.positions.size(), 0x00FFFFFFu);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t vertices = uint32_t(part.positions.size());
            const uint32_t index = ReadIndex(lex, "vertex colour index", vertices, [&](uint32_t v) {
                return "vertex colour for vertex " + std::to_string(v) + " of " + std::to_string(vertices);
            });
            uint32_t c[4];
            for (uint32_t& channel : c) {
                const float v = std::clamp(ReadFloat(lex, "vertex colour"), 0.0f, 1.0f);
                channel = uint32_t(v * 255.0f + 0.5f);
            }
            colors[index] = (c[3] << 24) | (c[0] << 16) | (c[1] << 8) | c[2];
        }
        SkipChildren(lex);
        part.hasColors = true;
        part.colors = std::move(colors);
    }

    void ParseMaterialList(Lexer& lex, MeshPart& part, int depth) {
        CheckDepth(lex, depth);
        const size_t listAt = lex.Peek().offset;
        const uint32_t nMaterials = ReadDword(lex, "material count");
        const uint32_t nIndexes = ReadCount(lex, "face material count", 1);
        const uint32_t nFaces = uint32_t(part.faceStart.size() - 1);
        if (nIndexes > nFaces) {
            lex.Fail(listAt, std::to_string(nIndexes) + " face materials for " + std::to_string(nFaces) + " faces");
        }
        std::vector<uint32_t> faceMaterials;
        faceMaterials.reserve(nFaces);
        for (uint32_t i = 0; i < nIndexes; ++i) {
            faceMaterials.push_back(ReadIndex(lex, "face material", nMaterials, [&](uint32_t m) {
                return "face " + std::to_string(i) + " uses material " + std::to_string(m) + " of " +
                       std::to_string(nMaterials);
            }));
        }
        std::vector<XMaterial> materials;
        ForEachChild(lex, [&](const std::string& identifier, Lexer& body) {
            if (!IEquals(identifier, "Material")) return false;
            materials.push_back(ParseMaterial(body, depth + 1));
            return true;
        });
        if (nMaterials == 0) return;
        if (materials.size() != nMaterials) {
            lex.Fail(listAt, "material list names " + std::to_string(nMaterials) + " materials but holds " +
                                 std::to_string(materials.size()));
        }
        if (nIndexes == 0 && nFaces > 0) lex.Fail(listAt, "material list gives no face materials");
        // Some exporters write fewer indices than faces; the last one carries on.
        while (faceMaterials.size() < nFaces) faceMaterials.push_back(faceMaterials.back());
        part.hasMaterialList = true;
        part.faceMaterials = std::move(faceMaterials);
        part.materials = std::move(materials);
    }

    XMaterial ParseMaterial(Lexer& lex, int depth) {
        CheckDepth(lex, depth);
        XMaterial m;
        D3DMATERIAL8& d = m.material;
        d.Diffuse.r = ReadFloat(lex, "material colour");
        d.Diffuse.g = ReadFloat(lex, "material colour");
        d.Diffuse.b = ReadFloat(lex, "material colour");
        d.Diffuse.a = ReadFloat(lex, "material colour");
        d.Power = ReadFloat(lex, "material power");
        d.Specular = {ReadFloat(lex, "specular colour"), ReadFloat(lex, "specular colour"),
                      ReadFloat(lex, "specular colour"), 1.0f};
        d.Emissive = {ReadFloat(lex, "emissive colour"), ReadFloat(lex, "emissive colour"),
                      ReadFloat(lex, "emissive colour"), 1.0f};
        d.Ambient = {0, 0, 0, 1};
        ForEachChild(lex, [&](const std::string& identifier, Lexer& body) {
            if (!IEquals(identifier, "TextureFilename")) return false;
            m.textureFilename = ReadTextureName(body);
            return true;
        });
        return m;
    }

    std::string ReadTextureName(Lexer& lex) {
        std::string name(ReadString(lex, "texture file name"));
        SkipChildren(lex);
        return name;
    }

    const ErrorSite& site_;
    std::string_view body_;
    bool binary_;
    int floatBytes_;
    size_t budget_;
    std::unordered_map<std::string, NamedObject> names_;
    std::vector<MeshPart> parts_;
};

// The body of an MSZIP-compressed file: blocks of raw deflate data that may
// refer back into the previous 32 KB of output.
std::string Inflate(std::string_view file, const std::string& name) {
    const auto* f = reinterpret_cast<const unsigned char*>(file.data());
    auto fail = [&](size_t offset, const std::string& message) -> void {
        throw ContentError(name + ": byte offset " + std::to_string(offset) + ": " + message);
    };
    if (file.size() < 20) fail(file.size(), "compressed file is truncated");
    const uint32_t total = ReadLittle32(f + 16);
    if (total < 16) fail(16, "bad decompressed size");
    if (total - 16 > kMaxDecompressed) fail(16, "decompressed size " + std::to_string(total) + " is too large");
    std::string out;
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw ContentError(name + ": cannot start decompression");
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&zs, inflateEnd);
    size_t p = 20;
    while (p < file.size()) {
        if (file.size() - p < 4) fail(p, "truncated compressed block header");
        const uint16_t usize = ReadLittle16(f + p), csize = ReadLittle16(f + p + 2);
        const size_t blockAt = p;
        p += 4;
        if (usize > 32768) fail(blockAt, "compressed block claims " + std::to_string(usize) + " bytes");
        if (csize < 2 || p + csize > file.size()) fail(blockAt, "compressed block runs past the end");
        if (f[p] != 'C' || f[p + 1] != 'K') fail(p, "compressed block lacks its CK signature");
        if (out.size() + usize > total - 16) fail(blockAt, "compressed blocks exceed the stated size");
        inflateReset(&zs);
        if (!out.empty()) {
            const size_t n = std::min<size_t>(out.size(), 32768);
            inflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(out.data() + out.size() - n), uInt(n));
        }
        const size_t base = out.size();
        out.resize(base + usize);
        zs.next_in = const_cast<Bytef*>(f + p + 2);
        zs.avail_in = uInt(csize - 2);
        zs.next_out = reinterpret_cast<Bytef*>(out.data() + base);
        zs.avail_out = usize;
        const int rc = inflate(&zs, Z_FINISH);
        if (rc != Z_STREAM_END || zs.avail_out != 0) fail(blockAt, "compressed block does not decompress");
        p += csize;
    }
    if (out.size() != total - 16) fail(16, "decompressed size does not match the stated size");
    return out;
}

XMaterial DefaultMaterial() {
    XMaterial m;
    m.material.Diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
    m.material.Specular = {0.5f, 0.5f, 0.5f, 0.0f};
    return m;
}

// A point through a frame matrix, divided by w where the matrix projects.
Vec3 TransformCoord(const Vec3& p, const Matrix& m) {
    const D3DVECTOR q = TransformPoint({p.x, p.y, p.z}, m);
    const float w = p.x * m.m[0][3] + p.y * m.m[1][3] + p.z * m.m[2][3] + m.m[3][3];
    if (w != 0 && w != 1) return Vec3{q.x / w, q.y / w, q.z / w};
    return Vec3{q.x, q.y, q.z};
}

Vec3 TransformNormal(const Vec3& n, const Matrix& m) {
    const D3DVECTOR d = TransformDirection({n.x, n.y, n.z}, m);
    Vec3 r{d.x, d.y, d.z};
    const float len = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    if (len > 0) r = Vec3{r.x / len, r.y / len, r.z / len};
    return r;
}

// Splits, triangulates and sorts one mesh, then appends it to the result.
void AppendPart(const MeshPart& part, uint32_t materialBase, XMesh& out, std::vector<uint32_t>& attributes) {
    const bool identity = IsIdentity(part.transform);
    std::vector<MeshVertex> vertices(part.positions.size());
    for (size_t i = 0; i < vertices.size(); ++i) {
        MeshVertex& v = vertices[i];
        const Vec3 p = identity ? part.positions[i] : TransformCoord(part.positions[i], part.transform);
        v = MeshVertex{{p.x, p.y, p.z}, {0, 0, 0}, part.hasColors ? part.colors[i] : 0u, {0, 0}};
        if (part.hasUVs) {
            v.uv[0] = part.uvs[i][0];
            v.uv[1] = part.uvs[i][1];
        }
    }
    // Normals are per corner: a vertex met again with another normal is
    // duplicated at the end, in order of discovery.
    std::vector<uint32_t> remap(part.corners);
    if (part.hasNormals) {
        std::vector<Vec3> transformed(part.normals);
        if (!identity) {
            for (Vec3& n : transformed) n = TransformNormal(n, part.transform);
        }
        const size_t original = vertices.size();
        std::vector<bool> seen(original, false);
        std::vector<int64_t> nextDuplicate(original, -1);
        std::vector<Vec3> vertexNormal(original, Vec3{0, 0, 0});
        for (size_t k = 0; k < part.corners.size(); ++k) {
            const uint32_t v = part.corners[k];
            const Vec3 n = transformed[part.normalCorners[k]];
            if (!seen[v]) {
                seen[v] = true;
                vertexNormal[v] = n;
                continue;
            }
            int64_t at = v, last = v;
            while (at >= 0 && !(vertexNormal[size_t(at)] == n)) {
                last = at;
                at = nextDuplicate[size_t(at)];
            }
            if (at < 0) {
                at = int64_t(vertices.size());
                const MeshVertex copy = vertices[v];
                vertices.push_back(copy);
                vertexNormal.push_back(n);
                nextDuplicate.push_back(-1);
                nextDuplicate[size_t(last)] = at;
            }
            remap[k] = uint32_t(at);
        }
        for (size_t i = 0; i < vertices.size(); ++i) {
            vertices[i].normal[0] = vertexNormal[i].x;
            vertices[i].normal[1] = vertexNormal[i].y;
            vertices[i].normal[2] = vertexNormal[i].z;
        }
    }
    // Fan triangulation keeps the winding; triangles inherit their polygon's material.
    const size_t faces = part.faceStart.size() - 1;
    std::vector<std::array<uint32_t, 3>> triangles;
    std::vector<uint32_t> triangleAttr;
    for (size_t f = 0; f < faces; ++f) {
        const uint32_t first = part.faceStart[f], end = part.faceStart[f + 1];
        const uint32_t attr = part.hasMaterialList ? part.faceMaterials[f] : 0;
        for (uint32_t c = first + 1; c + 1 < end; ++c) {
            triangles.push_back({remap[first], remap[c], remap[c + 1]});
            triangleAttr.push_back(attr);
        }
    }
    // Stable sort by material.
    std::vector<size_t> order(triangles.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (part.hasMaterialList) {
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return triangleAttr[a] < triangleAttr[b]; });
    }
    const uint32_t vertexBase = uint32_t(out.geometry.vertices.size());
    out.geometry.vertices.insert(out.geometry.vertices.end(), vertices.begin(), vertices.end());
    for (size_t i : order) {
        for (uint32_t idx : triangles[i]) out.geometry.indices.push_back(idx + vertexBase);
        attributes.push_back(triangleAttr[i] + materialBase);
    }
}

}  // namespace

XMesh ParseXFile(std::string_view contents, const std::string& name) {
    if (contents.size() < 16) throw ContentError(name + ": not a .x file (shorter than its 16-byte header)");
    const std::string_view header = contents.substr(0, 16);
    if (header.substr(0, 4) != "xof ") throw ContentError(name + ": not a .x file (bad magic)");
    const std::string_view version = header.substr(4, 4);
    if (version != "0302" && version != "0303") {
        throw ContentError(name + ": unsupported .x version " + std::string(version));
    }
    const std::string_view format = header.substr(8, 4);
    const std::string_view floatSize = header.substr(12, 4);
    if (floatSize != "0032" && floatSize != "0064") {
        throw ContentError(name + ": unsupported float size " + std::string(floatSize));
    }
    ErrorSite site;
    site.name = name;
    std::string inflated;
    std::string_view body;
    if (format == "txt " || format == "bin ") {
        body = contents.substr(16);
    } else if (format == "tzip" || format == "bzip") {
        inflated = Inflate(contents, name);
        body = inflated;
        site.compressed = true;
    } else {
        throw ContentError(name + ": unsupported .x format '" + std::string(format) + "'");
    }
    site.binary = format == "bin " || format == "bzip";
    site.body = body;

    Parser parser(site, body, site.binary, floatSize == "0064" ? 8 : 4);
    std::vector<MeshPart> parts = parser.Run();
    if (parts.empty()) throw ContentError(name + ": the file holds no mesh with vertices");

    XMesh out;
    const bool anyMaterials = std::any_of(parts.begin(), parts.end(), [](const MeshPart& p) { return p.hasMaterialList; });
    std::vector<uint32_t> attributes;
    DWORD fvf = D3DFVF_XYZ;
    for (const MeshPart& part : parts) {
        const uint32_t base = uint32_t(out.materials.size());
        if (part.hasNormals) fvf |= D3DFVF_NORMAL;
        if (part.hasColors) fvf |= D3DFVF_DIFFUSE;
        if (part.hasUVs) fvf |= D3DFVF_TEX1;
        if (part.hasMaterialList) {
            out.materials.insert(out.materials.end(), part.materials.begin(), part.materials.end());
        } else if (anyMaterials) {
            // A mesh without materials beside meshes with them gets its own default material.
            out.materials.push_back(DefaultMaterial());
        }
        AppendPart(part, anyMaterials ? base : 0, out, attributes);
    }
    if (out.materials.empty()) out.materials.push_back(DefaultMaterial());
    out.geometry.fvf = fvf;
    // Every number read is finite, but frame transforms can still carry a
    // vertex out of float range.
    for (size_t i = 0; i < out.geometry.vertices.size(); ++i) {
        const MeshVertex& v = out.geometry.vertices[i];
        for (const float c : {v.position[0], v.position[1], v.position[2], v.normal[0], v.normal[1], v.normal[2]}) {
            if (!std::isfinite(c)) {
                throw ContentError(name + ": vertex " + std::to_string(i) +
                                   " is not a finite number after its frame transforms");
            }
        }
    }

    // Subset ranges: runs of equal attributes in index order.
    auto& subsets = out.geometry.subsets;
    subsets.assign(out.materials.size(), {});
    for (size_t t = 0; t < attributes.size();) {
        size_t end = t + 1;
        while (end < attributes.size() && attributes[end] == attributes[t]) ++end;
        subsets[attributes[t]].push_back(IndexRange{uint32_t(t * 3), uint32_t((end - t) * 3)});
        t = end;
    }
    return out;
}
