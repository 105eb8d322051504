// Builds the binary bitmap font (128 glyphs of 8 x 8 one-byte pixels, 1 = ink) from its
// human-readable glyph source.
//
// Source format, line by line:
//   ; ...            a comment; blank lines are ignored
//   glyph N          starts the glyph of character code N (decimal, or 0x.. hexadecimal, 0..127)
//   ........         then exactly 8 rows of exactly 8 characters: '#' ink, '.' background
// Codes may come in any order, each at most once; codes without a glyph stay blank.
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string stripLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

// Parses "glyph N"; returns the code or -1.
int parseGlyphHeader(const std::string& line) {
    if (line.compare(0, 6, "glyph ") != 0) {
        return -1;
    }
    const char* digits = line.c_str() + 6;
    char* end = nullptr;
    long code = std::strtol(digits, &end, 0);
    if (end == digits || *end != '\0' || code < 0 || code >= glyphCount) {
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
    std::FILE* source = std::fopen(sourceName, "r");
    if (source == nullptr) {
        std::fprintf(stderr, "%s: cannot open glyph source\n", sourceName);
        return 1;
    }

    std::vector<unsigned char> font(glyphCount * glyphBytes, 0);
    std::vector<bool> defined(glyphCount, false);
    int lineNumber = 0;
    int currentCode = -1;  // the glyph whose rows are being read
    int rowsRead = 0;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, source) != nullptr) {
        ++lineNumber;
        std::string line = stripLineEnd(buffer);
        if (currentCode >= 0) {
            if (line.size() != glyphSide || line.find_first_not_of("#.") != std::string::npos) {
                reject(sourceName, lineNumber,
                       "expected a glyph row of exactly 8 characters '#' or '.', found \"" + line +
                           "\"");
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
        int code = parseGlyphHeader(line);
        if (code < 0) {
            reject(sourceName, lineNumber,
                   "expected \"glyph N\" with N from 0 to 127, found \"" + line + "\"");
        }
        if (defined[code]) {
            reject(sourceName, lineNumber, "glyph " + std::to_string(code) + " defined twice");
        }
        defined[code] = true;
        currentCode = code;
        rowsRead = 0;
    }
    std::fclose(source);
    if (currentCode >= 0) {
        reject(sourceName, lineNumber,
               "glyph " + std::to_string(currentCode) + " ends after " + std::to_string(rowsRead) +
                   " of 8 rows");
    }

    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr || std::fwrite(font.data(), 1, font.size(), out) != font.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "%s: cannot write font file\n", argv[2]);
        return 1;
    }
    return 0;
}
