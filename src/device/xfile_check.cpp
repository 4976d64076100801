#include "device/xfile_check.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

namespace {

enum class TokenKind { End, Word, Open, Close, Comma, Semicolon };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view text;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsDelimiter(char c) {
    return c == '{' || c == '}' || c == ',' || c == ';';
}

// A name: letters, digits, '_', '-' and '.', not starting with a digit, '-' or '.'.
bool IsName(std::string_view word) {
    if (word.empty() || word.size() > MaxXNameLength) return false;
    const char first = word[0];
    if (IsDigit(first) || first == '-' || first == '.') return false;
    for (char c : word)
        if (!(IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-' ||
              c == '.'))
            return false;
    return true;
}

// An unsigned integer of at most nine digits, so it cannot overflow the importer's 32-bit counter.
bool ParseCount(std::string_view word, uint32_t& value) {
    if (word.empty() || word.size() > 9) return false;
    value = 0;
    for (char c : word) {
        if (!IsDigit(c)) return false;
        value = value * 10 + uint32_t(c - '0');
    }
    return true;
}

size_t DigitRun(std::string_view word, size_t at) {
    size_t end = at;
    while (end < word.size() && IsDigit(word[end])) ++end;
    return end - at;
}

// -?digits[.digits][(e|E)[+-]digits]: the plain decimal form both this check and the importer read the
// same way, with digit runs short enough that the importer's integer conversions cannot overflow. The
// value must be a finite single-precision number.
bool ParseFloat(std::string_view word, float& value) {
    if (word.empty() || word.size() > 40) return false;
    size_t at = word[0] == '-' ? 1 : 0;
    const size_t whole = DigitRun(word, at);
    if (whole == 0 || whole > 15) return false;
    at += whole;
    if (at < word.size() && word[at] == '.') {
        const size_t fraction = DigitRun(word, at + 1);
        if (fraction == 0 || fraction > 15) return false;
        at += 1 + fraction;
    }
    if (at < word.size() && (word[at] == 'e' || word[at] == 'E')) {
        ++at;
        if (at < word.size() && (word[at] == '-' || word[at] == '+')) ++at;
        const size_t exponent = DigitRun(word, at);
        if (exponent == 0 || exponent > 2) return false;
        at += exponent;
    }
    if (at != word.size()) return false;
    const std::string copy(word);
    const double number = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(number) || std::fabs(number) > 3.0e38) return false;
    value = float(number);
    return true;
}

class XFileChecker {
public:
    explicit XFileChecker(std::span<const uint8_t> bytes)
        : begin(reinterpret_cast<const char*>(bytes.data())), p(begin), end(begin + bytes.size()) {}

    bool Check(std::string& reason) {
        const bool ok = Header() && TopLevel();
        if (!ok) reason = failure + " (line " + std::to_string(Line()) + ")";
        return ok;
    }

private:
    const char* const begin;
    const char* p;
    const char* const end;
    std::string failure;
    // Each top-level material's whole text, by name, and where the material lists refer to them.
    std::map<std::string, std::string_view, std::less<>> globalMaterials;

public:
    struct Reference {
        size_t from, to;
        std::string_view material;
    };
    std::vector<Reference> references;

private:
    int meshesWithFaces = 0;

    size_t Size() const { return size_t(end - begin); }
    int Line() const {
        int line = 1;
        for (const char* c = begin; c < p && c < end; ++c) line += *c == '\n';
        return line;
    }

    bool Fail(const char* why) {
        if (failure.empty()) failure = why;
        return false;
    }

    bool Header() {
        if (Size() < 16 || std::memcmp(begin, "xof ", 4) != 0) return Fail("not a .x file");
        const std::string_view version(begin + 4, 4), format(begin + 8, 4), floats(begin + 12, 4);
        if (version != "0302" && version != "0303") return Fail("unknown .x version");
        if (format != "txt ") return Fail("only the text form of .x files is read");
        if (floats != "0032" && floats != "0064") return Fail("unknown float size");
        // Printable 7-bit text only: no NULs, no encodings the importer would convert behind our back.
        for (const char* c = begin; c < end; ++c)
            if (!IsSpace(*c) && (*c < 0x20 || *c > 0x7E))
                return Fail("the file holds bytes that are not text");
        // The importer skips the rest of the header line; only blanks may stand there.
        p = begin + 16;
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        if (p < end && *p != '\n' && *p != '\r') return Fail("text after the header");
        return true;
    }

    // Blanks and comments ("//" or "#" where a token would start, up to the end of the line).
    void SkipBlanks() {
        for (;;) {
            while (p < end && IsSpace(*p)) ++p;
            if (p >= end) return;
            if (*p == '#' || (*p == '/' && p + 1 < end && p[1] == '/')) {
                while (p < end && *p != '\n' && *p != '\r') ++p;
            } else {
                return;
            }
        }
    }

    Token Next() {
        SkipBlanks();
        Token token;
        if (p >= end) return token;
        const char c = *p;
        if (IsDelimiter(c)) {
            ++p;
            token.kind = c == '{'   ? TokenKind::Open
                         : c == '}' ? TokenKind::Close
                         : c == ',' ? TokenKind::Comma
                                    : TokenKind::Semicolon;
            token.text = std::string_view(p - 1, 1);
            return token;
        }
        const char* start = p;
        while (p < end && !IsSpace(*p) && !IsDelimiter(*p)) ++p;
        token.kind = TokenKind::Word;
        token.text = std::string_view(start, size_t(p - start));
        return token;
    }

    Token Peek() {
        const char* saved = p;
        Token token = Next();
        p = saved;
        return token;
    }

    bool Expect(TokenKind kind, const char* why) { return Next().kind == kind || Fail(why); }

    // One separator (',' or ';') after every number, as the importer demands.
    bool Separator() {
        const TokenKind kind = Next().kind;
        return kind == TokenKind::Comma || kind == TokenKind::Semicolon || Fail("separator expected");
    }

    // After an element of a list: ',' before the next one, ';' after the last.
    bool ListSeparator(bool last) {
        return Expect(last ? TokenKind::Semicolon : TokenKind::Comma,
                      last ? "';' expected after a list" : "',' expected between list elements");
    }

    bool Count(uint32_t& value) {
        const Token token = Next();
        if (token.kind != TokenKind::Word || !ParseCount(token.text, value)) return Fail("count expected");
        // Every element takes at least one byte of the file.
        if (value > Size()) return Fail("a count exceeds the file size");
        return Separator();
    }

    bool Float() {
        const Token token = Next();
        float value = 0;
        if (token.kind != TokenKind::Word || !ParseFloat(token.text, value)) return Fail("number expected");
        // The importer takes a comma right after a whole number's digits for a decimal point ("1,5" is
        // 1.5 to it, not two numbers), so such a pair would be read differently from what stands here.
        if (token.text.find_first_of(".eE") == std::string_view::npos && p + 1 < end && *p == ',' &&
            IsDigit(p[1]))
            return Fail("whole number before a comma: write it with a decimal point");
        return Separator();
    }

    bool Floats(int count) {
        for (int i = 0; i < count; ++i)
            if (!Float()) return false;
        return true;
    }

    // name? '{' where a name may stand; name '{' where one is required.
    bool Head(bool nameRequired, std::string_view* name = nullptr) {
        Token token = Next();
        if (token.kind == TokenKind::Word) {
            if (!IsName(token.text)) return Fail("bad object name");
            if (name) *name = token.text;
            token = Next();
        } else if (nameRequired) {
            return Fail("object name expected");
        }
        return token.kind == TokenKind::Open || Fail("'{' expected");
    }

    bool TopLevel() {
        for (;;) {
            const Token token = Next();
            if (token.kind == TokenKind::End) break;
            if (token.kind != TokenKind::Word) return Fail("object expected");
            if (token.text == "template") {
                if (!Template()) return false;
            } else if (token.text == "Frame") {
                if (!Frame(1)) return false;
            } else if (token.text == "Mesh") {
                if (!MeshObject()) return false;
            } else if (token.text == "Material") {
                std::string_view name;
                if (!Head(true, &name) || !MaterialBody()) return false;
                if (globalMaterials.contains(name)) return Fail("material defined twice");
                globalMaterials.emplace(name,
                                        std::string_view(token.text.data(), size_t(p - token.text.data())));
            } else {
                return Fail("unknown object");
            }
        }
        return meshesWithFaces > 0 || Fail("no mesh in the file");
    }

    // template Name { <GUID> member declarations }: read past, never nested.
    bool Template() {
        if (!Head(true)) return false;
        const Token guid = Next();
        if (guid.kind != TokenKind::Word || guid.text.size() < 3 || guid.text.front() != '<' ||
            guid.text.back() != '>')
            return Fail("template GUID expected");
        for (;;) {
            const Token token = Next();
            if (token.kind == TokenKind::Close) return true;
            if (token.kind == TokenKind::End || token.kind == TokenKind::Open)
                return Fail("unterminated template");
        }
    }

    bool Frame(int depth) {
        if (depth > MaxXFrameDepth) return Fail("frames nested too deep");
        if (!Head(true)) return false;
        bool haveMatrix = false;
        for (;;) {
            const Token token = Next();
            if (token.kind == TokenKind::Close) return true;
            if (token.kind != TokenKind::Word) return Fail("frame member expected");
            if (token.text == "Frame") {
                if (!Frame(depth + 1)) return false;
            } else if (token.text == "FrameTransformMatrix") {
                if (haveMatrix) return Fail("second frame matrix");
                haveMatrix = true;
                if (!Head(false) || !Floats(16) ||
                    !Expect(TokenKind::Semicolon, "';' expected after the matrix") ||
                    !Expect(TokenKind::Close, "'}' expected after the matrix"))
                    return false;
            } else if (token.text == "Mesh") {
                if (!MeshObject()) return false;
            } else {
                return Fail("unknown object in a frame");
            }
        }
    }

    // count; count x (x;y;z;) separated by ',' and closed by ';'.
    bool VectorList(int components, uint32_t& count, bool allowEmpty) {
        if (!Count(count)) return false;
        if (count == 0 && !allowEmpty) return Fail("empty list");
        for (uint32_t i = 0; i < count; ++i)
            if (!Floats(components) || !ListSeparator(i + 1 == count)) return false;
        return true;
    }

    // count; count x (n;i0,i1,...;) separated by ',' and closed by ';'. With corners given, each face must
    // have the same number of corners as the face it shadows.
    bool FaceList(uint32_t indexLimit, std::vector<uint32_t>& corners,
                  const std::vector<uint32_t>* matching) {
        uint32_t count = 0;
        if (!Count(count)) return false;
        if (matching && count != matching->size()) return Fail("face count differs from the mesh's");
        if (!matching && count == 0) return Fail("mesh without faces");
        for (uint32_t f = 0; f < count; ++f) {
            uint32_t n = 0;
            if (!Count(n)) return false;
            if (n < 3 || n > MaxXFaceCorners) return Fail("a face needs 3 to 256 corners");
            if (matching && n != (*matching)[f]) return Fail("face corners differ from the mesh's");
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t index = 0;
                if (!Count(index)) return false;
                if (index >= indexLimit) return Fail("face index out of range");
            }
            corners.push_back(n);
            if (!ListSeparator(f + 1 == count)) return false;
        }
        return true;
    }

    bool MeshObject() {
        if (!Head(false)) return false;
        uint32_t vertices = 0;
        std::vector<uint32_t> corners;
        if (!VectorList(3, vertices, false) || !FaceList(vertices, corners, nullptr)) return false;
        bool haveNormals = false, haveCoords = false, haveMaterials = false;
        for (;;) {
            const Token token = Next();
            if (token.kind == TokenKind::Close) break;
            if (token.kind != TokenKind::Word) return Fail("mesh member expected");
            if (token.text == "MeshNormals") {
                if (haveNormals) return Fail("second normal list");
                haveNormals = true;
                uint32_t normals = 0;
                std::vector<uint32_t> normalCorners;
                if (!Head(false) || !VectorList(3, normals, false) ||
                    !FaceList(normals, normalCorners, &corners) ||
                    !Expect(TokenKind::Close, "'}' expected after the normals"))
                    return false;
            } else if (token.text == "MeshTextureCoords") {
                if (haveCoords) return Fail("second texture coordinate list");
                haveCoords = true;
                uint32_t coords = 0;
                if (!Head(false) || !VectorList(2, coords, false)) return false;
                if (coords != vertices) return Fail("texture coordinate count differs from the vertex count");
                if (!Expect(TokenKind::Close, "'}' expected after the texture coordinates")) return false;
            } else if (token.text == "MeshMaterialList") {
                if (haveMaterials) return Fail("second material list");
                haveMaterials = true;
                if (!Head(false) || !MaterialList(uint32_t(corners.size()))) return false;
            } else {
                return Fail("unknown object in a mesh");
            }
        }
        ++meshesWithFaces;
        return true;
    }

    bool MaterialList(uint32_t faces) {
        uint32_t materials = 0, indices = 0;
        if (!Count(materials) || !Count(indices)) return false;
        if (materials == 0) return Fail("material list without materials");
        if (indices != faces) return Fail("material index count differs from the face count");
        for (uint32_t i = 0; i < indices; ++i) {
            uint32_t index = 0;
            if (!Count(index)) return false;
            if (index >= materials) return Fail("material index out of range");
        }
        if (Peek().kind == TokenKind::Semicolon) Next();
        for (uint32_t m = 0; m < materials; ++m) {
            const Token token = Next();
            if (token.kind == TokenKind::Open) {
                const Token name = Next();
                if (name.kind != TokenKind::Word || !IsName(name.text)) return Fail("material name expected");
                const auto known = globalMaterials.find(name.text);
                if (known == globalMaterials.end()) return Fail("reference to an unknown material");
                if (!Expect(TokenKind::Close, "'}' expected after a material reference")) return false;
                references.push_back({size_t(token.text.data() - begin), size_t(p - begin), known->second});
            } else if (token.kind == TokenKind::Word && token.text == "Material") {
                if (!Head(false) || !MaterialBody()) return false;
            } else {
                return Fail("material expected");
            }
        }
        return Expect(TokenKind::Close, "'}' expected after the materials");
    }

    // r;g;b;a;; power; r;g;b;; r;g;b;; [TextureFilename { "file"; }] }
    bool MaterialBody() {
        if (!Floats(4) || !Expect(TokenKind::Semicolon, "';' expected after a colour") || !Float() ||
            !Floats(3) || !Expect(TokenKind::Semicolon, "';' expected after a colour") || !Floats(3) ||
            !Expect(TokenKind::Semicolon, "';' expected after a colour"))
            return false;
        bool haveTexture = false;
        for (;;) {
            const Token token = Next();
            if (token.kind == TokenKind::Close) return true;
            if (token.kind == TokenKind::Word &&
                (token.text == "TextureFilename" || token.text == "TextureFileName")) {
                if (haveTexture) return Fail("second texture in a material");
                haveTexture = true;
                if (!Head(false) || !String() ||
                    !Expect(TokenKind::Close, "'}' expected after the texture name"))
                    return false;
            } else {
                return Fail("unknown object in a material");
            }
        }
    }

    // "characters"; with the semicolon right after the closing quote, as the importer requires.
    bool String() {
        SkipBlanks();
        if (p >= end || *p != '"') return Fail("quoted file name expected");
        const char* start = ++p;
        while (p < end && *p != '"') {
            if (*p < 0x20 || *p > 0x7E) return Fail("file name across lines");
            ++p;
        }
        if (p >= end) return Fail("unterminated file name");
        if (size_t(p - start) > MaxXNameLength) return Fail("file name too long");
        ++p;
        if (p >= end || *p != ';') return Fail("';' expected right after the file name");
        ++p;
        return true;
    }
};

}  // namespace

bool CheckXFile(std::span<const uint8_t> bytes, std::string& reason) {
    XFileChecker checker(bytes);
    return checker.Check(reason);
}

bool PrepareXFileForImport(std::span<const uint8_t> bytes, std::vector<uint8_t>& importable,
                           std::string& reason) {
    importable.clear();
    XFileChecker checker(bytes);
    if (!checker.Check(reason)) return false;
    size_t size = bytes.size();
    for (const auto& reference : checker.references) {
        size += reference.material.size() - (reference.to - reference.from);
        if (size > MaxXImportBytes) {
            reason = "material references expand beyond the largest mesh file";
            return false;
        }
    }
    importable.reserve(size);
    size_t at = 0;
    for (const auto& reference : checker.references) {
        importable.insert(importable.end(), bytes.begin() + long(at), bytes.begin() + long(reference.from));
        importable.insert(importable.end(), reference.material.begin(), reference.material.end());
        at = reference.to;
    }
    importable.insert(importable.end(), bytes.begin() + long(at), bytes.end());
    return true;
}
