// The fast frame: the literal sweep's picture, byte for byte, from each distinct corner's height
// and projection computed once in vector lanes, the facets drawn band of canvas rows by band,
// each band by one thread in sweep order. This file runs the phases, lays out the frame's memory
// and shares the work among the threads; docs/performance.md says why each shortcut is exact.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory_resource>
#include <new>

#include "driver/driver.h"
#include "fractal/fractal.h"
#include "fractal/fractal_kernels.h"
#include "fractal/frame_threads.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

namespace {

// Every part of the frame's block starts on a cache line of its own.
const long long lineBytes = vexCacheLineBytes;

// The size of the huge pages the frame's own block is rounded to.
const long long hugePage = 2LL << 20;

// The most threads one frame uses: more would only wait for bands (a picture of 4800 rows has
// 38) and make the block larger.
const int mostThreads = 64;

// The shades a triangle can take: the low byte of its shade.
const int shadeCount = 256;

typedef std::pmr::vector<VexCellRun> RunList;

// Where run lists go that outgrow their thread's part of the block: vexMemory_Calloc's blocks,
// whose failure is the program's fatal "out of memory" (status 255), never an exception.
class OverflowMemory : public std::pmr::memory_resource {
    void* do_allocate(std::size_t bytes, std::size_t) override {
        if (bytes > static_cast<std::size_t>(INT_MAX)) {
            char message[256];
            std::snprintf(message, sizeof message, "out of memory (vexMemory_Calloc %llx bytes)",
                          static_cast<unsigned long long>(bytes));
            vexError_Fatal(message);
        }
        // Aligned for anything: the lists hold ints.
        return vexMemory_Calloc(static_cast<int>(bytes));
    }
    void do_deallocate(void* block, std::size_t, std::size_t) override { vexMemory_Free(block); }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
};

OverflowMemory overflowMemory;

// The last fast frame's phases, written by its first thread and read after the join.
VexFramePhases lastPhases;

typedef std::chrono::steady_clock PhaseClock;

// Ends a phase: the first thread notes how long it took since `since`; the others keep no
// clock.
void endPhase(int t, VexFramePhase phase, PhaseClock::time_point& since) {
    if (t == 0) {
        const PhaseClock::time_point now = PhaseClock::now();
        lastPhases.seconds[phase] = std::chrono::duration<double>(now - since).count();
        since = now;
    }
}

}  // namespace

VexFramePhases vexFractal_LastFramePhases() {
    return lastPhases;
}

std::pmr::memory_resource* vexFractal_RunListOverflow() {
    return &overflowMemory;
}

namespace {

// A column's strip of cells usually crosses a band once, in one run; the run lists are made
// room for that many and a few more, in memory set aside in the frame's block (at least twice
// that, beside each cell's bands in a column). Lists that need more grow into the rest of it,
// then into overflowMemory.
const int spareRuns = 8;

long long runBytesPerThread(int columns, int bandCount, int cellRows) {
    return (static_cast<long long>(columns) + spareRuns) * bandCount * 2 *
               static_cast<long long>(sizeof(VexCellRun)) +
           2LL * cellRows * static_cast<long long>(sizeof(int));
}

long long wholeLines(long long bytes) {
    return (bytes + lineBytes - 1) / lineBytes * lineBytes;
}

// Carves a block into parts taken one after another, each on a cache line of its own. Without
// a block it only counts the bytes, so that one routine both sizes the block and lays it out.
class BlockCarver {
  public:
    explicit BlockCarver(unsigned char* block = nullptr) : block_(block) {}
    template <class T>
    T* take(long long count) {
        const long long at = used_;
        used_ += wholeLines(count * static_cast<long long>(sizeof(T)));
        return block_ == nullptr ? nullptr : reinterpret_cast<T*>(block_ + at);
    }
    long long used() const { return used_; }

  private:
    unsigned char* block_;
    long long used_ = 0;
};

// Everything one frame's threads share.
struct Frame {
    const double* xs;
    int nx;
    const double* ys;
    int ny;
    int threads;  // those that run, fixed before the block is laid out
    int bandCount;
    int slotCount;           // orbit slots a thread
    long long slotBytes;     // their bytes
    long long scratchBytes;  // a thread's working memory for drawing cells
    long long runBytes;      // a thread's part of the block for its run lists

    // The frame's own memory, one block of whole huge pages, and its parts in their order.
    unsigned char* block;
    unsigned char* orbitSlots;  // each thread's orbits in flight
    // The corners: first each corner's height (nx columns of ny doubles); once the shades are
    // known, each column's slot is overwritten by that column's pixel columns and rows (ny ints
    // each, the same 8 * ny bytes). Holding both in one place keeps the frame's own memory near
    // 6 MB beside the 86 MB frame buffer.
    double* corners;
    unsigned char* shades;  // 2 per cell, as VexCellGrid reads them
    // The grid's row steps up and down, and each row's view offset (ny each).
    double *stepUp, *stepDown, *viewY;
    const int** pixelColumns;  // the columns' pixel columns and rows in the corner block
    const int** pixelRows;
    VexInk* inks;                // one for each shade
    int* projections;            // each thread's projected column before it goes into its slot
    unsigned char* cellScratch;  // each thread's, scratchBytes
    std::pmr::monotonic_buffer_resource* runMemories;  // each thread's, over runArea
    // Each thread's bandCount run lists: list b of thread t holds the cells of its columns
    // that reach into band b, in sweep order. The threads' columns follow one another, so
    // thread 0's runs, then thread 1's, and so on, are the band's cells in sweep order.
    RunList* runLists;
    int* bandOrders;         // each thread's bandCount bands, most cells first
    long long* bandCells;    // each thread's count of the cells of each band
    unsigned char* runArea;  // each thread's runBytes for its run lists

    VexCornerView view;
    VexHeightWork heights;
    std::atomic<int> nextBand;
    PhaseBarrier barrier;
    StartSignal ready;
};

// The frame's block: the threads' orbit slots, the corners, the shades, the small tables, the
// threads' working memory and run lists. Where every first touch of an ordinary page costs a
// fault (about 11 us on a virtual machine), these few megabytes on ordinary pages would cost
// more than the shading and the projection together.
void layOutBlock(Frame& f, BlockCarver& carve) {
    const long long threads = f.threads;
    const long long bandLists = threads * f.bandCount;
    f.orbitSlots = carve.take<unsigned char>(threads * f.slotBytes);
    f.corners = carve.take<double>(static_cast<long long>(f.nx) * f.ny);
    f.shades = carve.take<unsigned char>(2LL * (f.nx - 1) * (f.ny - 1));
    f.stepUp = carve.take<double>(f.ny);
    f.stepDown = carve.take<double>(f.ny);
    f.viewY = carve.take<double>(f.ny);
    f.pixelColumns = carve.take<const int*>(f.nx);
    f.pixelRows = carve.take<const int*>(f.nx);
    f.inks = carve.take<VexInk>(shadeCount);
    f.projections = carve.take<int>(2 * threads * f.ny);
    f.cellScratch = carve.take<unsigned char>(threads * f.scratchBytes);
    f.runMemories = carve.take<std::pmr::monotonic_buffer_resource>(threads);
    f.runLists = carve.take<RunList>(bandLists);
    f.bandOrders = carve.take<int>(bandLists);
    f.bandCells = carve.take<long long>(bandLists);
    f.runArea = carve.take<unsigned char>(threads * f.runBytes);
}

// The run lists' part of the block at the least: one column of each thread's share more.
long long leastRunBytes(const Frame& f) {
    return wholeLines(runBytesPerThread((f.nx - 2) / f.threads + 1, f.bandCount, f.ny - 1));
}

// The block's bytes for f.threads threads with the least room for run lists.
long long leastBlockBytes(Frame& f) {
    f.runBytes = leastRunBytes(f);
    BlockCarver sizing;
    layOutBlock(f, sizing);
    return sizing.used();
}

VexOrbitSlots slotsOf(const Frame& f, int t) {
    return vexFractal_OrbitSlotsIn(f.orbitSlots + t * f.slotBytes, f.slotCount);
}

RunList* runsOf(const Frame& f, int t) {
    return f.runLists + static_cast<long long>(t) * f.bandCount;
}

// Sets the frame up for `threads` threads, on the thread that runs index 0: the block, the
// tables and the view. The other threads wait for it.
void setUpFrame(Frame& f, int threads) {
    f.threads = threads;
    f.barrier.setParties(threads);
    const long long blockBytes = (leastBlockBytes(f) + hugePage - 1) / hugePage * hugePage;
    // The rest of the last huge page costs nothing more: the run lists get it too.
    f.runBytes = 0;
    BlockCarver fixed;
    layOutBlock(f, fixed);
    f.runBytes = (blockBytes - fixed.used()) / threads / lineBytes * lineBytes;
    f.block = static_cast<unsigned char*>(vexMemory_Calloc(static_cast<int>(blockBytes)));
    BlockCarver carve(f.block);
    layOutBlock(f, carve);

    f.view = vex3D_CornerView(vexHeightOffset);
    for (int j = 0; j < f.ny; ++j) {
        if (j + 1 < f.ny) {
            f.stepUp[j] = f.ys[j + 1] - f.ys[j];
            f.stepDown[j] = f.ys[j] - f.ys[j + 1];
        }
    }
    vex3D_ViewRows(f.view, f.ys, f.ny, f.viewY);
    for (int shade = 0; shade < shadeCount; ++shade) {
        f.inks[shade] = vexRaster_InkOf(vexRaster_MakeColor(vexSceneSurfaceColour, shade));
    }
    for (int i = 0; i < f.nx; ++i) {
        const int* slot =
            reinterpret_cast<const int*>(f.corners + static_cast<long long>(i) * f.ny);
        f.pixelColumns[i] = slot;
        f.pixelRows[i] = slot + f.ny;
    }
    f.heights.heights = f.corners;
}

// [first, last) of `count` items for thread t of n.
void shareOf(int count, int t, int n, int* first, int* last) {
    *first = static_cast<int>(static_cast<long long>(count) * t / n);
    *last = static_cast<int>(static_cast<long long>(count) * (t + 1) / n);
}

void shadeColumns(Frame& f, int t) {
    int first, last;
    shareOf(f.nx - 1, t, f.threads, &first, &last);
    for (int i = first; i < last; ++i) {
        VexShadeColumn column;
        column.left = f.corners + static_cast<long long>(i) * f.ny;
        column.right = column.left + f.ny;
        column.stepUp = f.stepUp;
        column.stepDown = f.stepDown;
        column.stepRight = f.xs[i + 1] - f.xs[i];
        column.stepLeft = f.xs[i] - f.xs[i + 1];
        column.lightX = f.view.light.x;
        column.lightY = f.view.light.y;
        column.lightZ = f.view.light.z;
        column.heightOffset = vexHeightOffset;
        column.shadeLow = vexSceneShadeLow;
        column.shadeRange = vexSceneShadeHigh - vexSceneShadeLow;
        vex3D_ShadeColumn(column, f.ny - 1, f.shades + 2LL * i * (f.ny - 1));
    }
}

void projectColumns(Frame& f, int t) {
    int* columns = f.projections + 2LL * t * f.ny;
    int* rows = columns + f.ny;
    int first, last;
    shareOf(f.nx, t, f.threads, &first, &last);
    for (int i = first; i < last; ++i) {
        double* slot = f.corners + static_cast<long long>(i) * f.ny;
        vex3D_ProjectColumn(f.view, f.xs[i], slot, f.viewY, f.ny, columns, rows);
        // The column's heights are read; its slot takes the pixels.
        std::memcpy(slot, columns, sizeof(int) * f.ny);
        std::memcpy(reinterpret_cast<unsigned char*>(slot) + sizeof(int) * f.ny, rows,
                    sizeof(int) * f.ny);
    }
}

// Files each cell of thread t's cell columns under every band its rows reach. A cell's pixels
// all lie between its corners' rows; cells wholly above or below the canvas draw nothing.
void binCells(Frame& f, int t) {
    const int lastRow = canvasHeight - 1;
    const int cellRows = f.ny - 1;
    int first, last;
    shareOf(f.nx - 1, t, f.threads, &first, &last);
    std::pmr::memory_resource* memory = new (&f.runMemories[t]) std::pmr::monotonic_buffer_resource(
        f.runArea + t * f.runBytes, static_cast<std::size_t>(f.runBytes), &overflowMemory);
    RunList* runs = runsOf(f, t);
    for (int b = 0; b < f.bandCount; ++b) {
        new (&runs[b]) RunList(memory);
        runs[b].reserve(last - first + spareRuns);
    }
    // bands[j], bands[cellRows + j]: the first and last band that cell j reaches (none for a
    // cell wholly above or below the canvas: first after last).
    std::pmr::vector<int> bands(2 * cellRows, memory);
    int* bandLow = bands.data();
    int* bandHigh = bands.data() + cellRows;
    for (int i = first; i < last; ++i) {
        const int* left = f.pixelRows[i];
        const int* right = f.pixelRows[i + 1];
        for (int j = 0; j < cellRows; ++j) {
            int low = std::min(std::min(left[j], right[j]), std::min(left[j + 1], right[j + 1]));
            int high = std::max(std::max(left[j], right[j]), std::max(left[j + 1], right[j + 1]));
            bool off = high < 0 || low > lastRow;
            bandLow[j] = off ? 1 : std::max(low, 0) / vexBandRows;
            bandHigh[j] = off ? 0 : std::min(high, lastRow) / vexBandRows;
        }
        // Consecutive cells reaching the same bands join each band's run together.
        for (int j = 0; j < cellRows;) {
            int end = j;
            while (end + 1 < cellRows && bandLow[end + 1] == bandLow[j] &&
                   bandHigh[end + 1] == bandHigh[j]) {
                ++end;
            }
            for (int b = bandLow[j]; b <= bandHigh[j]; ++b) {
                RunList& band = runs[b];
                if (!band.empty() && band.back().column == i && band.back().last == j - 1) {
                    band.back().last = end;
                } else {
                    band.push_back({i, j, end});
                }
            }
            j = end + 1;
        }
    }
}

// The bands, those with the most cells first, so that the last ones handed out are short and
// the threads finish together. Every thread works out the same order, in its own part.
const int* bandsByCells(const Frame& f, int t) {
    long long* cells = f.bandCells + static_cast<long long>(t) * f.bandCount;
    int* order = f.bandOrders + static_cast<long long>(t) * f.bandCount;
    for (int b = 0; b < f.bandCount; ++b) {
        cells[b] = 0;
        order[b] = b;
    }
    for (int u = 0; u < f.threads; ++u) {
        const RunList* runs = runsOf(f, u);
        for (int b = 0; b < f.bandCount; ++b) {
            for (const VexCellRun& run : runs[b]) {
                cells[b] += run.last - run.first + 1;
            }
        }
    }
    std::stable_sort(order, order + f.bandCount, [&](int a, int b) { return cells[a] > cells[b]; });
    return order;
}

void drawBands(Frame& f, int t) {
    const VexCellGrid grid = {f.pixelColumns, f.pixelRows, f.shades, f.inks, f.nx, f.ny};
    const int* order = bandsByCells(f, t);
    void* scratch = f.cellScratch + t * f.scratchBytes;
    for (;;) {
        int next = f.nextBand.fetch_add(1);
        if (next >= f.bandCount) {
            break;
        }
        const int b = order[next];
        const VexRowBand band = vexRaster_Band(b * vexBandRows, (b + 1) * vexBandRows);
        int left = INT_MAX;
        int right = INT_MIN;
        for (int u = 0; u < f.threads; ++u) {
            const RunList& runs = runsOf(f, u)[b];
            vexRaster_ColumnsOfRuns(grid, runs.data(), static_cast<int>(runs.size()), &left,
                                    &right);
        }
        vexRaster_WarmBand(band, left, right);
        for (int u = 0; u < f.threads; ++u) {
            const RunList& runs = runsOf(f, u)[b];
            vexRaster_DrawCells(grid, runs.data(), static_cast<int>(runs.size()), band, scratch);
        }
    }
}

// One thread's frame. The thread of index 0 sets the frame up while the others, started just
// before, wait for it; it then goes straight on to the heights (a thread created while the
// other cores idle can take a millisecond or more to run on a virtual machine).
void runFrameThread(void* context, int t, int threads) {
    Frame& f = *static_cast<Frame*>(context);
    PhaseClock::time_point since = PhaseClock::now();
    if (t == 0) {
        setUpFrame(f, threads);
        endPhase(t, vexPhaseSetUp, since);
        f.ready.open();
    } else {
        f.ready.wait();
    }
    vexFractal_RunHeightWorker(&f.heights, slotsOf(f, t));
    f.barrier.wait();
    endPhase(t, vexPhaseHeights, since);
    shadeColumns(f, t);
    f.barrier.wait();
    endPhase(t, vexPhaseShading, since);
    projectColumns(f, t);
    f.barrier.wait();
    endPhase(t, vexPhaseProjection, since);
    binCells(f, t);
    f.barrier.wait();
    endPhase(t, vexPhaseFiling, since);
    drawBands(f, t);
    // The first thread to run out of bands waits here, awake, rather than asleep in a join.
    f.barrier.wait();
    endPhase(t, vexPhaseDrawing, since);
}

// The fast path needs every edge of every cell to have a length: a grid step whose square is 0
// would make the facet renderer report a zero-length vector. Steps of a strictly increasing
// axis are positive; their squares are 0 only when they underflow.
bool stepsHaveLength(const double* axis, int n) {
    for (int k = 0; k + 1 < n; ++k) {
        double up = axis[k + 1] - axis[k];
        double down = axis[k] - axis[k + 1];
        if (!(up * up > 0.0) || !(down * down > 0.0)) {
            return false;
        }
    }
    return true;
}

// The literal cell loop over the same corners, for grids the fast path does not take on: it
// prints the renderer's messages in their order.
void drawGridLiterally(const double* xs, int nx, const double* ys, int ny) {
    for (int i = 0; i + 1 < nx; ++i) {
        for (int j = 0; j + 1 < ny; ++j) {
            vexFractal_DrawCellLiteral(xs[i], xs[i + 1], ys[j], ys[j + 1]);
        }
    }
}

// The canvas is left as the last facet left it: pen 0, the last triangle's colour, and its
// corners in the polygon list.
void leaveCanvasAsTheLastFacet(const Frame& f) {
    int last = f.nx - 2;
    int lastRow = f.ny - 2;
    const int* x = f.pixelColumns[last];
    const int* y = f.pixelRows[last];
    const int* xn = f.pixelColumns[last + 1];
    const int* yn = f.pixelRows[last + 1];
    vexRaster_SetPenSize(0);
    long long cells = static_cast<long long>(f.nx - 1) * (f.ny - 1);
    vexRaster_SetColor(vexRaster_MakeColor(vexSceneSurfaceColour, f.shades[2 * cells - 1]));
    vexRaster_PolygonBegin(xn[lastRow + 1], yn[lastRow + 1]);
    vexRaster_PolygonAddVertex(x[lastRow + 1], y[lastRow + 1]);
    vexRaster_PolygonAddVertex(x[lastRow], y[lastRow]);
}

}  // namespace

void vexFractal_DrawGridFast(const double* xs, int nx, const double* ys, int ny, int threadCount) {
    lastPhases = VexFramePhases();
    if (nx < 2 || ny < 2) {
        return;
    }
    if (!stepsHaveLength(xs, nx) || !stepsHaveLength(ys, ny) || canvasBytesPerPixel != 3 ||
        static_cast<long long>(nx) * ny > 0x7fffffffLL / 10) {
        drawGridLiterally(xs, nx, ys, ny);
        return;
    }
    Frame f;
    f.xs = xs;
    f.nx = nx;
    f.ys = ys;
    f.ny = ny;
    f.threads = std::min(std::max(threadCount, 1), mostThreads);
    f.bandCount = (std::max(canvasHeight, 0) + vexBandRows - 1) / vexBandRows;
    f.heights.xs = xs;
    f.heights.nx = nx;
    f.heights.ys = ys;
    f.heights.ny = ny;
    f.heights.kernels = &vexFractal_OrbitKernels();
    f.heights.nextColumn.store(0);
    f.nextBand.store(0);
    f.slotCount = vexFractal_OrbitSlotCount(ny, f.heights.kernels->lanes);
    f.slotBytes = vexFractal_OrbitSlotBytes(f.slotCount);
    f.scratchBytes = wholeLines(vexRaster_CellScratchBytes());
    // The block for the most threads is the largest: fewer need less of everything.
    if (leastBlockBytes(f) + hugePage > 0x7fffffffLL) {
        drawGridLiterally(xs, nx, ys, ny);
        return;
    }
    f.block = nullptr;
    vexThreads_ForkJoin(f.threads, runFrameThread, &f);

    leaveCanvasAsTheLastFacet(f);
    // The run lists and their memory live in the block; the lists' memory may have grown
    // beyond it.
    for (int t = 0; t < f.threads; ++t) {
        RunList* runs = runsOf(f, t);
        for (int b = 0; b < f.bandCount; ++b) {
            runs[b].~RunList();
        }
        f.runMemories[t].~monotonic_buffer_resource();
    }
    vexMemory_Free(f.block);
}

void vexFractal_DrawSurfaceFast(int threadCount) {
    // Generously more than the 732 and 722 corners the grid has.
    const int capacity = 4096;
    double* axes = static_cast<double*>(vexMemory_Calloc(2 * capacity * sizeof(double)));
    double* xs = axes;
    double* ys = axes + capacity;
    int columns = vexFractal_GridAxis(vexGridStartX, vexGridEndX, xs, capacity);
    int rows = vexFractal_GridAxis(vexGridStartY, vexGridEndY, ys, capacity);
    if (columns < 0 || rows < 0) {
        vexError_Fatal("grid larger than expected (vexFractal_DrawSurfaceFast)");
    }
    vexFractal_DrawGridFast(xs, columns + 1, ys, rows + 1, threadCount);
    vexMemory_Free(axes);
}
