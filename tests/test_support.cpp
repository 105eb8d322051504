// Tests of the support routines: rounding, fatal errors, allocation and release, text-file append.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/driver_internal.h"
#include "platform/platform.h"
#include "support/testutil.h"

namespace {

#ifdef _WIN32
// True while the page holding the address is reserved or committed.
bool isMapped(const void* address) {
    MEMORY_BASIC_INFORMATION region;
    return VirtualQuery(address, &region, sizeof region) == 0 || region.State != MEM_FREE;
}

// Windows shows no page sizes to a process; large pages need a privilege the tests lack.
std::string mappingFlags(const void*) {
    return "";
}
bool hugePagesOffered() {
    return false;
}
#else
// True while the page holding the address is mapped into the process.
bool isMapped(const void* address) {
    long page = sysconf(_SC_PAGESIZE);
    std::uintptr_t start = reinterpret_cast<std::uintptr_t>(address) & ~(page - 1);
    unsigned char resident;
    return mincore(reinterpret_cast<void*>(start), static_cast<size_t>(page), &resident) == 0 ||
           errno != ENOMEM;
}

// The flags /proc/self/smaps lists for the mapping holding the address ("" if none).
std::string mappingFlags(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    std::string line;
    while (std::getline(smaps, line)) {
        unsigned long long low = 0, high = 0;
        char dash = 0;
        std::istringstream fields(line);
        if (fields >> std::hex >> low >> dash >> high && dash == '-') {
            inside = low <= at && at < high;
        } else if (inside && line.compare(0, 8, "VmFlags:") == 0) {
            return line.substr(8);
        }
    }
    return "";
}

// Whether the kernel offers huge pages to a process that asks for them.
bool hugePagesOffered() {
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string text;
    std::getline(setting, text);
    return !text.empty() && text.find("[never]") == std::string::npos;
}
#endif

}  // namespace

// ---- Rounding -----------------------------------------------------------------------------------

TEST(MathRound, HalvesGoAwayFromZero) {
    EXPECT_EQ(vexMath_Round(2.5), 3);
    EXPECT_EQ(vexMath_Round(-2.5), -3);
    EXPECT_EQ(vexMath_Round(0.5), 1);
    EXPECT_EQ(vexMath_Round(-0.5), -1);
    EXPECT_EQ(vexMath_Round(-1.5), -2);
    EXPECT_EQ(vexMath_Round(0.49), 0);
    EXPECT_EQ(vexMath_Round(-0.49), 0);
    EXPECT_EQ(vexMath_Round(0.0), 0);
    EXPECT_EQ(vexMath_Round(-0.0), 0);
    EXPECT_EQ(vexMath_Round(1.9999), 2);
    EXPECT_EQ(vexMath_Round(-1.9999), -2);
    EXPECT_EQ(vexMath_Round(3.0), 3);
    EXPECT_EQ(vexMath_Round(-7.0), -7);
}

TEST(MathRound, HalfIsAddedInDoubleArithmetic) {
    // The largest double below one half plus 0.5 rounds up to exactly 1.0, so it gives 1, not
    // the 0 a library round would give; the polygon fill's pictures are made with this sum.
    double belowHalf = std::nextafter(0.5, 0.0);
    EXPECT_EQ(vexMath_Round(belowHalf), 1);
    EXPECT_EQ(vexMath_Round(-belowHalf), -1);
}

TEST(MathRound, OutOfRangeSaturatesAndNaNGivesZero) {
    EXPECT_EQ(vexMath_Round(2147483646.5), INT_MAX);
    EXPECT_EQ(vexMath_Round(2147483647.4), INT_MAX);
    EXPECT_EQ(vexMath_Round(2147483647.5), INT_MAX);
    EXPECT_EQ(vexMath_Round(1e10), INT_MAX);
    EXPECT_EQ(vexMath_Round(std::numeric_limits<double>::infinity()), INT_MAX);
    EXPECT_EQ(vexMath_Round(-2147483648.4), INT_MIN);
    EXPECT_EQ(vexMath_Round(-2147483648.5), INT_MIN);
    EXPECT_EQ(vexMath_Round(-2147483647.5), INT_MIN);
    EXPECT_EQ(vexMath_Round(-2147483646.5), -2147483647);
    EXPECT_EQ(vexMath_Round(-1e10), INT_MIN);
    EXPECT_EQ(vexMath_Round(-std::numeric_limits<double>::infinity()), INT_MIN);
    EXPECT_EQ(vexMath_Round(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(vexMath_Round(-std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(MathTruncate, TowardZeroSaturatingAndNaNGivesZero) {
    EXPECT_EQ(vexMath_Truncate(1.9), 1);
    EXPECT_EQ(vexMath_Truncate(-1.9), -1);
    EXPECT_EQ(vexMath_Truncate(-0.9), 0);
    EXPECT_EQ(vexMath_Truncate(127.5), 127);
    EXPECT_EQ(vexMath_Truncate(2147483647.9), INT_MAX);
    EXPECT_EQ(vexMath_Truncate(2147483648.0), INT_MAX);
    EXPECT_EQ(vexMath_Truncate(-2147483648.9), INT_MIN);
    EXPECT_EQ(vexMath_Truncate(-2147483649.0), INT_MIN);
    EXPECT_EQ(vexMath_Truncate(-std::numeric_limits<double>::infinity()), INT_MIN);
    EXPECT_EQ(vexMath_Truncate(std::numeric_limits<double>::quiet_NaN()), 0);
}

// ---- Fatal errors, allocation and release -------------------------------------------------------

TEST(SupportDeathTest, FatalPrintsTheMessageVerbatimAndExitsWithMinusOne) {
    // A '%' in the message must be printed as it is, never taken for a conversion.
    EXPECT_EXIT(
        {
            sendStandardOutputToDeathCapture();
            vexError_Fatal("disk 100% full %s %d");
        },
        ::testing::ExitedWithCode(fatalExitStatus), "^disk 100% full %s %d\n$");
}

#ifndef _WIN32
// POSIX only: the failure is made with an address-space limit, which Windows does not have.
TEST(SupportDeathTest, FailedAllocationIsFatalWithTheSizeInHexadecimal) {
    if (builtWithSanitizers()) {
        GTEST_SKIP() << "the address sanitizer cannot run under an address-space limit";
    }
    // The limit leaves room for the message but not for the 86,400,000-byte frame buffer.
    rlim_t limit = addressSpaceInUse() + 32 * 1024 * 1024;
    EXPECT_EXIT(
        {
            sendStandardOutputToDeathCapture();
            limitAddressSpace(limit);
            vexMemory_Calloc(86400000);
        },
        ::testing::ExitedWithCode(fatalExitStatus),
        "^out of memory \\(vexMemory_Calloc 5265c00 bytes\\)\n$");
}
#endif

TEST(SupportDeathTest, NegativeSizeIsRefusedLikeAFailedRequest) {
    EXPECT_EXIT(
        {
            sendStandardOutputToDeathCapture();
            vexMemory_Calloc(-1);
        },
        ::testing::ExitedWithCode(fatalExitStatus),
        "^out of memory \\(vexMemory_Calloc ffffffff bytes\\)\n$");
}

TEST(SupportDeathTest, FreeingANullPointerIsFatal) {
    EXPECT_EXIT(
        {
            sendStandardOutputToDeathCapture();
            vexMemory_Free(nullptr);
        },
        ::testing::ExitedWithCode(fatalExitStatus),
        "^attempting to free a null pointer \\(vexMemory_Free\\)\n$");
}

TEST(Memory, BlocksAreZeroedAndReleasable) {
    const int size = 100000;
    unsigned char* block = static_cast<unsigned char*>(vexMemory_Calloc(size));
    ASSERT_NE(block, nullptr);
    int nonZero = 0;
    for (int i = 0; i < size; ++i) {
        nonZero += block[i] != 0;
    }
    EXPECT_EQ(nonZero, 0);
    EXPECT_EQ(vexMemory_Free(block), 0);

    // An empty request still yields a real block, since releasing null is fatal.
    void* empty = vexMemory_Calloc(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(vexMemory_Free(empty), 0);
}

TEST(Memory, LargeBlocksLieOnHugePageBoundariesZeroedAndAreReturnedOnRelease) {
    const std::uintptr_t hugePage = 2u << 20;
    // The smallest mapped size, one past it, and the frame buffer's size with its odd byte.
    for (int size : {vexMemoryLargeBlockBytes, vexMemoryLargeBlockBytes + 1, 86400001}) {
        SCOPED_TRACE(size);
        unsigned char* block = static_cast<unsigned char*>(vexMemory_Calloc(size));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % hugePage, 0u);
        EXPECT_EQ(std::find_if(block, block + size, [](unsigned char b) { return b != 0; }),
                  block + size);
        block[0] = 1;
        block[size - 1] = 1;
        if (hugePagesOffered()) {
            std::string flags = mappingFlags(block);
            EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;
        }
        EXPECT_EQ(vexMemory_Free(block), 0);
        EXPECT_FALSE(isMapped(block));
        EXPECT_FALSE(isMapped(block + size - 1));
    }
}

TEST(Memory, TheThresholdDividesHeapBlocksFromLargeOnes) {
    // The platform layer releases only its own large blocks and reports which a pointer was: one
    // byte below the threshold the block must be the heap's, at the threshold a large one.
    void* below = vexMemory_Calloc(vexMemoryLargeBlockBytes - 1);
    EXPECT_EQ(vexPlatform_ReleaseLargeBlock(below), 0);
    EXPECT_EQ(vexMemory_Free(below), 0);
    void* at = vexMemory_Calloc(vexMemoryLargeBlockBytes);
    EXPECT_EQ(vexPlatform_ReleaseLargeBlock(at), 1);  // released here, so not freed again
}

TEST(Memory, MoreLargeBlocksThanRecordsAreEachReleasedTheirOwnWay) {
    // Beyond the allocator's records blocks come from the heap; freed in an order unlike the
    // one they were made in, each must go back where it came from, and none may be shared.
    const int count = 24;
    const int size = 8 << 20;
    std::vector<unsigned char*> blocks;
    for (int i = 0; i < count; ++i) {
        blocks.push_back(static_cast<unsigned char*>(vexMemory_Calloc(size)));
        ASSERT_NE(blocks.back(), nullptr);
        EXPECT_EQ(blocks.back()[0], 0);
        EXPECT_EQ(blocks.back()[size - 1], 0);
        blocks.back()[0] = static_cast<unsigned char>(i + 1);
        blocks.back()[size - 1] = static_cast<unsigned char>(i + 1);
    }
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(blocks[i][0], i + 1);
        EXPECT_EQ(blocks[i][size - 1], i + 1);
    }
    for (int i = 0; i < count; i += 2) {
        EXPECT_EQ(vexMemory_Free(blocks[i]), 0);
    }
    // The records freed are taken again by new blocks, which are zero once more.
    for (int i = 0; i < count; i += 2) {
        blocks[i] = static_cast<unsigned char*>(vexMemory_Calloc(size));
        EXPECT_EQ(blocks[i][0], 0);
        EXPECT_EQ(blocks[i][size - 1], 0);
    }
    for (int i = count - 1; i >= 0; --i) {
        EXPECT_EQ(vexMemory_Free(blocks[i]), 0);
    }
}

// ---- Text-file append ---------------------------------------------------------------------------

TEST(AppendLine, CreatesAppendsAndWritesEmptyLines) {
    TempDir dir;
    std::string name = dir.file("stats.txt");

    EXPECT_EQ(vexFile_AppendLine(name.c_str(), "first line"), 0);
    EXPECT_EQ(readFile(name), "first line\n");

    EXPECT_EQ(vexFile_AppendLine(name.c_str(), "second"), 0);
    EXPECT_EQ(vexFile_AppendLine(name.c_str(), ""), 0);
    EXPECT_EQ(vexFile_AppendLine(name.c_str(), "100% %d"), 0);
    EXPECT_EQ(readFile(name), "first line\nsecond\n\n100% %d\n");
}

TEST(AppendLine, EarlierContentIsKept) {
    TempDir dir;
    std::string name = dir.file("old.txt");
    std::string earlier("no newline at the end\0binary", 28);
    writeFile(name, earlier);
    EXPECT_EQ(vexFile_AppendLine(name.c_str(), "added"), 0);
    EXPECT_EQ(readFile(name), earlier + "added\n");
}

TEST(AppendLine, UnopenableFileReportsOnStandardError) {
    TempDir dir;
    // A folder cannot be opened for appending.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int result = vexFile_AppendLine(dir.path.c_str(), "text");
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(err, "Cannot open input file.\n");
    EXPECT_EQ(out, "");

    std::string missingFolder = dir.file("no/such/folder.txt");
    testing::internal::CaptureStderr();
    EXPECT_EQ(vexFile_AppendLine(missingFolder.c_str(), "text"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot open input file.\n");
    EXPECT_FALSE(fileExists(missingFolder));
}

TEST(AppendLine, FailedWriteIsReportedNotSwallowed) {
    // /dev/full opens, but every write that reaches it fails as on a full disk.
    if (!fileExists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    testing::internal::CaptureStderr();
    int result = vexFile_AppendLine("/dev/full", "statistics that do not fit");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, -1);
    EXPECT_NE(err, "");
    EXPECT_NE(err.find("/dev/full"), std::string::npos) << err;
}
