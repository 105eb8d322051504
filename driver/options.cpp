// The command line and the run settings it sets: GNU-style options, the help and version texts,
// the change of working folder, and where the program's data files are found.
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "driver/driver.h"
#include "platform/platform.h"

#ifndef VEX_VERSION
#error "the build defines VEX_VERSION from the project's version"
#endif

int plotThreadCount = 0;
int plotFrameCount = 1;
int plotUseReference = 0;

namespace {

const char* const programName = "vexplot";

// More threads than this only take turns on the same cores; the bound keeps the frame's
// per-thread memory small whatever is typed.
const int maxThreads = 256;

// printf format: the thread bound fills its %d.
const char* const helpFormat =
    "Usage: vexplot [OPTION]...\n"
    "Draw the Mandelbrot surface into 3VErudadudIzad12UdidirAvorovirevEde.bmp in\n"
    "the working folder, print the drawing time and append it to\n"
    "___output_statistics.txt.\n"
    "\n"
    "  -C, --directory=DIR  change to the folder DIR before anything else\n"
    "  -j, --threads=N      draw on N threads, 1 to %d (default: one a core)\n"
    "      --frames=N       draw the frame N times in the timed loop and report\n"
    "                         their average (default 1)\n"
    "      --reference      draw with the literal frame instead of the fast one\n"
    "  -h, --help           print this help and exit\n"
    "      --version        print the version and exit\n"
    "\n"
    "Every option gives the same picture. The font vexMSDOS.fon is read from the\n"
    "working folder or, when it is not there, from ../share/vexplot beside the\n"
    "program's own folder.\n"
    "\n"
    "Exit status: 0 when the picture was written, 1 when the run failed, 2 after\n"
    "bad usage, 255 when memory ran out.\n";

enum OptionCode {
    optionDirectory,
    optionThreads,
    optionFrames,
    optionReference,
    optionHelp,
    optionVersion
};

struct Option {
    OptionCode code;
    char shortName;  // 0: long name only
    const char* longName;
    bool takesValue;
};

const Option options[] = {
    {optionDirectory, 'C', "directory", true}, {optionThreads, 'j', "threads", true},
    {optionFrames, 0, "frames", true},         {optionReference, 0, "reference", false},
    {optionHelp, 'h', "help", false},          {optionVersion, 0, "version", false},
};

// The folder of the program as it was started, when its name was given as a path: the way to
// the data folder where the system does not tell where the executable lies (a root without
// /proc, for one). Empty when unknown.
std::string startedFrom;

// The last path vexPlot_DataFile gave out.
std::string installedPath;

// What the command line asks for, gathered before anything is acted on.
struct Request {
    std::vector<std::string> folders;  // -C, in the order given: each relative to the one before
    int threads = 0;
    int frames = 1;
    int reference = 0;
};

// Bad usage: the message naming what was wrong, the pointer to the help, status 2.
int badUsage(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", programName, message.c_str(), programName);
    return 2;
}

// The status after the help or the version: 0 once it is out, 1 when standard output could not
// take it (a full device, a closed descriptor), said on standard error.
int answered() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: cannot write standard output\n", programName);
        return 1;
    }
    return 0;
}

// A whole number from 1 to `largest`, in decimal digits and nothing else.
bool parseCount(const char* text, int largest, int* value) {
    if (*text == '\0') {
        return false;
    }
    long long number = 0;
    for (const char* digit = text; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return false;
        }
        number = number * 10 + (*digit - '0');
        if (number > largest) {
            return false;
        }
    }
    if (number < 1) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

// Takes one option with its value (null for options without one) into the request. Returns -1
// to go on, or the exit status the program ends with.
int takeOption(const Option& option, const char* value, Request* request) {
    char range[64];
    switch (option.code) {
        case optionDirectory:
            request->folders.push_back(value);
            return -1;
        case optionThreads:
            if (!parseCount(value, maxThreads, &request->threads)) {
                std::snprintf(range, sizeof range, "1 to %d", maxThreads);
                return badUsage(std::string("invalid thread count '") + value + "' (" + range +
                                ")");
            }
            return -1;
        case optionFrames:
            if (!parseCount(value, INT_MAX, &request->frames)) {
                std::snprintf(range, sizeof range, "1 to %d", INT_MAX);
                return badUsage(std::string("invalid frame count '") + value + "' (" + range + ")");
            }
            return -1;
        case optionReference:
            request->reference = 1;
            return -1;
        case optionHelp:
            std::printf(helpFormat, maxThreads);
            return answered();
        case optionVersion:
            std::printf("%s %s\n", programName, VEX_VERSION);
            return answered();
    }
    return -1;
}

// A long option as given after "--", with "=value" or not; any unambiguous beginning of a name
// counts, as with the usual option parsers. Returns -1 to go on, or the exit status.
int takeLongOption(const char* argument, int argc, char** argv, int* next, Request* request) {
    const char* name = argument + 2;
    const char* equals = std::strchr(name, '=');
    size_t length = equals != nullptr ? static_cast<size_t>(equals - name) : std::strlen(name);
    const Option* found = nullptr;
    int matches = 0;
    for (const Option& option : options) {
        if (length > 0 && std::strncmp(option.longName, name, length) == 0) {
            if (std::strlen(option.longName) == length) {
                found = &option;
                matches = 1;
                break;
            }
            found = &option;
            ++matches;
        }
    }
    if (matches != 1) {
        std::string given(argument, equals != nullptr ? 2 + length : std::strlen(argument));
        return badUsage(std::string(matches == 0 ? "unrecognized" : "ambiguous") + " option '" +
                        given + "'");
    }
    std::string full = std::string("--") + found->longName;
    if (!found->takesValue) {
        if (equals != nullptr) {
            return badUsage("option '" + full + "' doesn't allow an argument");
        }
        return takeOption(*found, nullptr, request);
    }
    if (equals != nullptr) {
        return takeOption(*found, equals + 1, request);
    }
    if (*next >= argc) {
        return badUsage("option '" + full + "' requires an argument");
    }
    return takeOption(*found, argv[(*next)++], request);
}

// A group of short options after one "-"; an option that takes a value takes the rest of the
// group, or the next argument when the group ends with it. Returns -1 to go on, or the status.
int takeShortOptions(const char* argument, int argc, char** argv, int* next, Request* request) {
    for (const char* letter = argument + 1; *letter != '\0'; ++letter) {
        const Option* found = nullptr;
        for (const Option& option : options) {
            if (option.shortName != 0 && option.shortName == *letter) {
                found = &option;
            }
        }
        if (found == nullptr) {
            return badUsage(std::string("invalid option -- '") + *letter + "'");
        }
        if (!found->takesValue) {
            int status = takeOption(*found, nullptr, request);
            if (status >= 0) {
                return status;
            }
            continue;
        }
        if (letter[1] != '\0') {
            return takeOption(*found, letter + 1, request);
        }
        if (*next >= argc) {
            return badUsage(std::string("option requires an argument -- '") + *letter + "'");
        }
        return takeOption(*found, argv[(*next)++], request);
    }
    return -1;
}

}  // namespace

int vexOptions_Read(int argc, char** argv, int* exitStatus) {
    // Taken before -C changes the folder a relative name would be read from.
    if (argc > 0 && argv[0] != nullptr && std::strchr(argv[0], '/') != nullptr) {
        std::error_code error;
        std::filesystem::path program = std::filesystem::canonical(argv[0], error);
        if (!error) {
            startedFrom = program.parent_path().u8string();
        }
    }
    Request request;
    std::vector<const char*> operands;
    bool optionsEnded = false;
    // Options are taken in order, so --help or a fault decides as soon as it comes; arguments
    // that are not options are gathered and refused once every option has been read.
    for (int next = 1; next < argc;) {
        const char* argument = argv[next++];
        int status = -1;
        if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
            operands.push_back(argument);
        } else if (std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (argument[1] == '-') {
            status = takeLongOption(argument, argc, argv, &next, &request);
        } else {
            status = takeShortOptions(argument, argc, argv, &next, &request);
        }
        if (status >= 0) {
            *exitStatus = status;
            return 0;
        }
    }
    if (!operands.empty()) {
        *exitStatus = badUsage(std::string("unexpected argument '") + operands.front() + "'");
        return 0;
    }

    for (const std::string& folder : request.folders) {
        std::error_code error;
        std::filesystem::current_path(folder, error);
        if (error) {
            std::fprintf(stderr, "%s: cannot change to the folder '%s': %s\n", programName,
                         folder.c_str(), error.message().c_str());
            *exitStatus = 2;
            return 0;
        }
    }
    plotThreadCount = request.threads;
    plotFrameCount = request.frames;
    plotUseReference = request.reference;
    return 1;
}

int vexPlot_ThreadCount() {
    return plotThreadCount > 0 ? plotThreadCount : vexPlatform_CoreCount();
}

const char* vexPlot_DataFile(const char* name) {
    // Anything of that name in the working folder is the user's, even a file that cannot be
    // read: it is taken, and fails as it would have, rather than passed over in silence.
    std::error_code error;
    std::filesystem::file_status here = std::filesystem::symlink_status(name, error);
    if (here.type() != std::filesystem::file_type::not_found) {
        return name;
    }
    // Installed, the program lies in bin/ and its data in share/vexplot/ beside it, wherever the
    // tree was put.
    std::string folder = startedFrom;
    char executableFolder[4096];
    if (vexPlatform_ExecutableFolder(executableFolder, sizeof executableFolder)) {
        folder = executableFolder;
    }
    if (folder.empty()) {
        return name;
    }
    installedPath = folder + "/../share/vexplot/" + name;
    // The platform layer takes names in UTF-8; so must the check (Windows would read the bytes in
    // its legacy code page).
    if (!std::filesystem::exists(std::filesystem::u8path(installedPath), error)) {
        return name;
    }
    return installedPath.c_str();
}
