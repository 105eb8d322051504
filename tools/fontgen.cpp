// Builds the binary bitmap font (128 glyphs of 8 x 8 one-byte pixels, 1 = ink) from its
// human-readable glyph source.
//
// Source format, line by line:
//   ; ...            a comment; blank lines are ignored
//   glyph N          starts the glyph of character code N (decimal, or 0x.. hexadecimal, 0..127)
//   ........         then exactly 8 rows of exactly 8 characters: '#' ink, '.' background
// Codes may come in any order, each at most once; codes without a glyph stay blank.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int glyphCount = 128;
const int glyphSide = 8;
const int glyphBytes = glyphSide * glyphSide;

[[noreturn]] void reject(const char* sourceName, int lineNumber, const std::string& reason) {
    std::fprintf(stderr, "%s:%d: %s\n", sourceName, lineNumber, reason.c_str());
    std::exit(1);
}

// Reads one whole line without its end (LF or CRLF), however long, so that line numbers in
// messages stay true. Returns false at the end of the file.
bool readLine(std::FILE* source, std::string& line) {
    line.clear();
    int c;
    while ((c = std::getc(source)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (c == EOF && line.empty()) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

// Parses "glyph N"; returns the code, or -1 with the reason. The number is read by hand rather
// than with strtol's automatic base, which would take "glyph 010" as octal 8.
int parseGlyphHeader(const std::string& line, std::string& reason) {
    const std::string keyword = "glyph ";
    std::string number =
        line.compare(0, keyword.size(), keyword) == 0 ? line.substr(keyword.size()) : std::string();
    bool hexadecimal =
        number.size() > 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X');
    std::string digits = hexadecimal ? number.substr(2) : number;
    if (digits.empty() ||
        digits.find_first_not_of(hexadecimal ? "0123456789abcdefABCDEF" : "0123456789") !=
            std::string::npos) {
        reason = "expected \"glyph N\" with N from 0 to 127, found \"" + line + "\"";
        return -1;
    }
    long code = 0;
    for (char digit : digits) {
        // Saturates rather than overflows; anything this large is out of range anyway.
        if (code <= glyphCount) {
            code = code * (hexadecimal ? 16 : 10) +
                   (std::isdigit(static_cast<unsigned char>(digit))
                        ? digit - '0'
                        : std::tolower(static_cast<unsigned char>(digit)) - 'a' + 10);
        }
    }
    if (code >= glyphCount) {
        reason = "character code " + number + " out of range: the font has codes 0 to 127";
        return -1;
    }
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vexfontgen GLYPH-SOURCE FONT-FILE\n");
        return 2;
    }
    const char* sourceName = argv[1];
    const char* fontName = argv[2];
    std::FILE* source = std::fopen(sourceName, "r");
    if (source == nullptr) {
        std::fprintf(stderr, "%s: cannot open glyph source\n", sourceName);
        return 1;
    }

    std::vector<unsigned char> font(glyphCount * glyphBytes, 0);
    std::vector<int> definedAt(glyphCount, 0);  // line of each glyph's header, 0 if none
    int lineNumber = 0;
    int currentCode = -1;  // the glyph whose rows are being read
    int rowsRead = 0;
    std::string line;
    while (readLine(source, line)) {
        ++lineNumber;
        if (currentCode >= 0) {
            if (line.size() != glyphSide || line.find_first_not_of("#.") != std::string::npos) {
                reject(sourceName, lineNumber,
                       "expected row " + std::to_string(rowsRead + 1) + " of glyph " +
                           std::to_string(currentCode) +
                           ": exactly 8 characters '#' or '.', found \"" + line + "\"");
            }
            for (int column = 0; column < glyphSide; ++column) {
                font[currentCode * glyphBytes + rowsRead * glyphSide + column] =
                    line[column] == '#' ? 1 : 0;
            }
            if (++rowsRead == glyphSide) {
                currentCode = -1;
            }
            continue;
        }
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';') {
            continue;
        }
        std::string reason;
        int code = parseGlyphHeader(line, reason);
        if (code < 0) {
            reject(sourceName, lineNumber, reason);
        }
        if (definedAt[code] != 0) {
            reject(sourceName, lineNumber,
                   "glyph " + std::to_string(code) + " defined twice (first at line " +
                       std::to_string(definedAt[code]) + ")");
        }
        definedAt[code] = lineNumber;
        currentCode = code;
        rowsRead = 0;
    }
    // A read error looks like the end of the file to getc; without this test a damaged source
    // would silently give a font with its later glyphs blank.
    bool readFailed = std::ferror(source) != 0;
    std::fclose(source);
    if (readFailed) {
        std::fprintf(stderr, "%s: read error after line %d\n", sourceName, lineNumber);
        return 1;
    }
    if (currentCode >= 0) {
        reject(sourceName, lineNumber,
               "glyph " + std::to_string(currentCode) + " ends after " + std::to_string(rowsRead) +
                   " of 8 rows");
    }

    std::FILE* out = std::fopen(fontName, "wb");
    bool written = out != nullptr && std::fwrite(font.data(), 1, font.size(), out) == font.size();
    if (out != nullptr && std::fclose(out) != 0) {
        written = false;
    }
    if (!written) {
        // A partly written font must not be left behind for the build to take as up to date.
        std::remove(fontName);
        std::fprintf(stderr, "%s: cannot write font file\n", fontName);
        return 1;
    }
    return 0;
}
