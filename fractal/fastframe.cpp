// The fast frame: the literal sweep's picture, byte for byte, from each distinct corner's height
// and projection computed once in vector lanes, the facets drawn band of canvas rows by band,
// each band by one thread in sweep order.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/driver.h"
#include "fractal/fastkernels.h"
#include "fractal/fractal.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

namespace {

// Canvas rows are drawn in bands of this many, handed out to the threads one at a time, so
// that they finish together whatever the picture's shape. A facet reaching into two bands is
// set up twice; 128 rows keep that rare and still give 38 bands to share out.
const int bandRows = 128;

// The processor's cache line.
const long long lineBytes = 64;

// Where the band warm-up's reads go, so that they are not optimised away.
std::atomic<unsigned> warmSink{0};

// The size of the huge pages the frame's own block is rounded to.
const long long hugePage = 2LL << 20;

// A thread that waits for the others yields in a loop for a while before it sleeps: the
// phases are short, and on a virtual machine a thread woken from sleep can take milliseconds
// to run again.
const int spinLimit = 20000;

// Returns once done() holds, which another thread makes true under `mutex` before notifying
// `wake`.
template <class Done>
void awaitAwake(std::mutex& mutex, std::condition_variable& wake, Done done) {
    for (int spin = 0; spin < spinLimit; ++spin) {
        if (done()) {
            return;
        }
        std::this_thread::yield();
    }
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait(lock, done);
}

// Lets the frame's threads pass from one phase to the next together.
class PhaseBarrier {
  public:
    explicit PhaseBarrier(int parties) : parties_(parties) {}
    void wait() {
        int generation = generation_.load(std::memory_order_acquire);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (++arrived_ == parties_) {
                arrived_ = 0;
                generation_.store(generation + 1, std::memory_order_release);
                released_.notify_all();
                return;
            }
        }
        awaitAwake(mutex_, released_,
                   [&] { return generation_.load(std::memory_order_acquire) != generation; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    int parties_;
    int arrived_ = 0;
    std::atomic<int> generation_{0};
};

// Lets the helper threads, started early, wait until the frame they share is ready.
class StartSignal {
  public:
    void open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_.store(true, std::memory_order_release);
        }
        opened_.notify_all();
    }
    void wait() {
        awaitAwake(mutex_, opened_, [&] { return open_.load(std::memory_order_acquire); });
    }

  private:
    std::mutex mutex_;
    std::condition_variable opened_;
    std::atomic<bool> open_{false};
};

typedef std::pmr::vector<VexCellRun> RunList;

// A column's strip of cells usually crosses a band once, in one run; the run lists are made
// room for that many and a few more, in memory set aside in the frame's block (at least twice
// that, beside each cell's bands in a column). Lists that need more grow into the rest of it,
// then into the heap, whose fresh pages each cost a fault.
const int spareRuns = 8;

long long runBytesPerThread(int columns, int bandCount, int cellRows) {
    return (static_cast<long long>(columns) + spareRuns) * bandCount * 2 *
               static_cast<long long>(sizeof(VexCellRun)) +
           2LL * cellRows * static_cast<long long>(sizeof(int));
}

// Everything one frame's threads share. The corner block first holds each corner's height
// (nx columns of ny doubles); once the shades are known, each column's slot is overwritten by
// that column's pixel columns and rows (ny ints each, the same 8 * ny bytes). Holding both in
// one block keeps the frame's own memory near 6 MB (with the orbit slots and the shades) beside the
// 86 MB frame buffer.
struct Frame {
    const double* xs;
    int nx;
    const double* ys;
    int ny;
    int threads;
    double* corners;
    unsigned char* shades;
    // The grid's row steps up and down, and each row's view offset (ny each).
    double *stepUp, *stepDown, *viewY;
    VexProjectionConstants camera;
    Point3 light;
    VexHeightWork heights;
    std::vector<VexOrbitSlots> slots;  // each thread's orbits in flight
    const int** pixelColumns;          // the columns' pixel columns and rows in the corner block
    const int** pixelRows;
    VexInk* inks;      // one for each shade
    int* projections;  // each thread's projected column before it goes into its slot
    // Each thread's run lists are carved from its own part of the frame's block.
    std::vector<std::unique_ptr<std::pmr::monotonic_buffer_resource>> runMemory;
    // runs[t][b]: the cells of thread t's columns that reach into band b, in sweep order. The
    // threads' columns follow one another, so thread 0's runs, then thread 1's, and so on, are
    // the band's cells in sweep order.
    std::vector<std::vector<RunList>> runs;
    int bandCount;
    std::atomic<int> nextBand;
    PhaseBarrier barrier;
    StartSignal ready;

    explicit Frame(int threadCount) : barrier(threadCount) {}
};

// [first, last) of `count` items for thread t of n.
void shareOf(int count, int t, int n, int* first, int* last) {
    *first = static_cast<int>(static_cast<long long>(count) * t / n);
    *last = static_cast<int>(static_cast<long long>(count) * (t + 1) / n);
}

void shadeColumns(Frame& f, int t) {
    const VexFastKernels& kernels = *f.heights.kernels;
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
        column.lightX = f.light.x;
        column.lightY = f.light.y;
        column.lightZ = f.light.z;
        kernels.shadeColumn(column, f.ny - 1, f.shades + 2LL * i * (f.ny - 1));
    }
}

void projectColumns(Frame& f, int t) {
    const VexFastKernels& kernels = *f.heights.kernels;
    int* columns = f.projections + 2LL * t * f.ny;
    int* rows = columns + f.ny;
    int first, last;
    shareOf(f.nx, t, f.threads, &first, &last);
    for (int i = first; i < last; ++i) {
        double* slot = f.corners + static_cast<long long>(i) * f.ny;
        double viewX = (f.xs[i] - viewPrism.centerX) * viewPrism.scaleX;
        kernels.projectColumn(slot, f.viewY, f.ny, viewX, f.camera, columns, rows);
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
    std::vector<RunList>& runs = f.runs[t];
    runs.reserve(f.bandCount);
    for (int b = 0; b < f.bandCount; ++b) {
        runs.emplace_back(f.runMemory[t].get());
        runs.back().reserve(last - first + spareRuns);
    }
    // bands[j], bands[cellRows + j]: the first and last band that cell j reaches (none for a
    // cell wholly above or below the canvas: first after last).
    std::pmr::vector<int> bands(2 * cellRows, f.runMemory[t].get());
    int* bandLow = bands.data();
    int* bandHigh = bands.data() + cellRows;
    for (int i = first; i < last; ++i) {
        const int* left = f.pixelRows[i];
        const int* right = f.pixelRows[i + 1];
        for (int j = 0; j < cellRows; ++j) {
            int low = std::min(std::min(left[j], right[j]), std::min(left[j + 1], right[j + 1]));
            int high = std::max(std::max(left[j], right[j]), std::max(left[j + 1], right[j + 1]));
            bool off = high < 0 || low > lastRow;
            bandLow[j] = off ? 1 : std::max(low, 0) / bandRows;
            bandHigh[j] = off ? 0 : std::min(high, lastRow) / bandRows;
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

// The canvas columns that a band's runs of cells reach, about: the runs' end corners on both
// sides. A band's runs jump from column to column, each column's corners and shades in their
// own part of the grid, where the hardware cannot guess them; reading the ends of each run,
// and asking for its rows and shades, brings them into the cache before the run is drawn.
void columnsOfRuns(const VexCellGrid& grid, const RunList& runs, int* left, int* right) {
    for (const VexCellRun& run : runs) {
        const int* leftX = grid.columns[run.column];
        const int* rightX = grid.columns[run.column + 1];
        const int ends[4] = {leftX[run.first], rightX[run.first], leftX[run.last + 1],
                             rightX[run.last + 1]};
        for (int x : ends) {
            *left = std::min(*left, x);
            *right = std::max(*right, x);
        }
        const unsigned char* shades = grid.shades + 2LL * run.column * (grid.ny - 1);
        __builtin_prefetch(grid.rows[run.column] + run.first);
        __builtin_prefetch(grid.rows[run.column + 1] + run.first);
        __builtin_prefetch(grid.rows[run.column] + run.last + 1);
        __builtin_prefetch(grid.rows[run.column + 1] + run.last + 1);
        __builtin_prefetch(shades + 2 * run.first);
        __builtin_prefetch(shades + 2 * run.last);
    }
}

// Reads one byte of each cache line that the band's cells may paint (its rows, between the
// cells' leftmost and rightmost canvas columns), in address order, before the cells are drawn.
// The cells visit the band column strip by column strip, each row a line apart, which the
// processor cannot foresee: drawing missed the cache on about 770 thousand lines of the frame
// buffer, one at a time. Read in address order, the memory streams them ahead instead, and the
// drawing finds them in the cache. Nothing is written.
void warmBand(const VexRowBand& band, int left, int right) {
    left = std::max(left, 0);
    right = std::min<long long>(right, band.width - 1);
    if (left > right) {
        return;
    }
    const long long lastByte = (static_cast<long long>(right) - left) * 3 + 2;
    unsigned sum = 0;
    for (int y = band.rowEnd - 1; y >= band.rowBegin; --y) {
        const volatile unsigned char* first =
            band.buffer + ((band.height - 1LL - y) * band.width + left) * 3;
        const long long lineOffset =
            static_cast<long long>(reinterpret_cast<std::uintptr_t>(first) % lineBytes);
        for (long long k = 0; k <= lastByte; k += lineBytes - (k == 0 ? lineOffset : 0)) {
            sum += first[k];
        }
    }
    warmSink.fetch_add(sum, std::memory_order_relaxed);
}

// The bands, those with the most cells first, so that the last ones handed out are short and
// the threads finish together. Every thread works out the same order.
std::vector<int> bandsByCells(const Frame& f) {
    std::vector<long long> cells(f.bandCount, 0);
    for (const std::vector<RunList>& threadRuns : f.runs) {
        for (int b = 0; b < f.bandCount; ++b) {
            for (const VexCellRun& run : threadRuns[b]) {
                cells[b] += run.last - run.first + 1;
            }
        }
    }
    std::vector<int> order(f.bandCount);
    for (int b = 0; b < f.bandCount; ++b) {
        order[b] = b;
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return cells[a] > cells[b]; });
    return order;
}

void drawBands(Frame& f) {
    const VexFastKernels& kernels = *f.heights.kernels;
    const VexCellGrid grid = {f.pixelColumns, f.pixelRows, f.shades, f.inks, f.nx, f.ny};
    const std::vector<int> order = bandsByCells(f);
    for (;;) {
        int next = f.nextBand.fetch_add(1);
        if (next >= f.bandCount) {
            break;
        }
        const int b = order[next];
        const VexRowBand band = vexFractal_CanvasBand(b * bandRows, (b + 1) * bandRows);
        int left = std::numeric_limits<int>::max();
        int right = std::numeric_limits<int>::min();
        for (const std::vector<RunList>& threadRuns : f.runs) {
            columnsOfRuns(grid, threadRuns[b], &left, &right);
        }
        warmBand(band, left, right);
        for (const std::vector<RunList>& threadRuns : f.runs) {
            const RunList& runs = threadRuns[b];
            kernels.drawCells(grid, runs.data(), static_cast<int>(runs.size()), band);
        }
    }
}

void runFrameThread(Frame& f, int t) {
    vexFractal_RunHeightWorker(&f.heights, f.slots[t]);
    f.barrier.wait();
    shadeColumns(f, t);
    f.barrier.wait();
    projectColumns(f, t);
    f.barrier.wait();
    binCells(f, t);
    f.barrier.wait();
    drawBands(f);
    // The first thread to run out of bands waits here, awake, rather than asleep in a join.
    f.barrier.wait();
}

void runHelperThread(Frame& f, int t) {
    f.ready.wait();
    runFrameThread(f, t);
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

}  // namespace

void vexFractal_DrawGridFast(const double* xs, int nx, const double* ys, int ny, int threadCount) {
    if (nx < 2 || ny < 2) {
        return;
    }
    if (!stepsHaveLength(xs, nx) || !stepsHaveLength(ys, ny) || canvasBytesPerPixel != 3 ||
        static_cast<long long>(nx) * ny > 0x7fffffffLL / 10) {
        drawGridLiterally(xs, nx, ys, ny);
        return;
    }
    int threads = std::max(threadCount, 1);
    Frame f(threads);
    f.xs = xs;
    f.nx = nx;
    f.ys = ys;
    f.ny = ny;
    f.threads = threads;
    int cornerCount = nx * ny;
    f.bandCount = (std::max(canvasHeight, 0) + bandRows - 1) / bandRows;
    // The frame's own memory is one block of whole huge pages: the threads' orbit slots, the
    // corners, the shades, the frame's small tables, then the threads' run lists. Where every
    // first touch of an ordinary page costs a fault (about 11 us on a virtual machine), these
    // few megabytes would otherwise cost more than the shading and the projection together.
    const VexFastKernels& kernels = vexFractal_ActiveKernels();
    const int slotCount = vexFractal_OrbitSlotCount(ny, kernels.lanes);
    const long long slotBytes = vexFractal_OrbitSlotBytes(slotCount);
    long long cornerBytes = 8LL * cornerCount;
    long long shadeBytes = 2LL * (nx - 1) * (ny - 1);
    auto lines = [](long long bytes) { return (bytes + lineBytes - 1) / lineBytes * lineBytes; };
    long long tablesAt = lines(threads * slotBytes + cornerBytes + shadeBytes);
    const int shadeCount = 256;
    long long stepsBytes = lines(8LL * ny);
    long long pointersBytes = lines(8LL * nx);
    long long inksBytes = lines(static_cast<long long>(sizeof(VexInk)) * shadeCount);
    long long runsAt =
        tablesAt + 3 * stepsBytes + 2 * pointersBytes + inksBytes + threads * lines(8LL * ny);
    long long runBytes = runBytesPerThread((nx - 2) / threads + 1, f.bandCount, ny - 1);
    long long usedBytes = runsAt + threads * runBytes;
    if (usedBytes + hugePage > 0x7fffffffLL) {
        drawGridLiterally(xs, nx, ys, ny);
        return;
    }
    // The helpers start before the frame is set up and wait until it is ready, while this
    // thread goes on to the heights without waiting for them: a thread created while the other
    // cores idle can take a millisecond or more to run on a virtual machine.
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) {
        helpers.emplace_back(runHelperThread, std::ref(f), t);
    }
    long long blockBytes = (usedBytes + hugePage - 1) / hugePage * hugePage;
    // The rest of the last huge page costs nothing more: the run lists get it too.
    runBytes = (blockBytes - runsAt) / threads / lineBytes * lineBytes;
    unsigned char* block =
        static_cast<unsigned char*>(vexMemory_Calloc(static_cast<int>(blockBytes)));
    for (int t = 0; t < threads; ++t) {
        f.slots.push_back(vexFractal_OrbitSlotsIn(block + t * slotBytes, slotCount));
    }
    f.corners = reinterpret_cast<double*>(block + threads * slotBytes);
    f.shades = block + threads * slotBytes + cornerBytes;
    unsigned char* tables = block + tablesAt;
    f.stepUp = reinterpret_cast<double*>(tables);
    f.stepDown = reinterpret_cast<double*>(tables + stepsBytes);
    f.viewY = reinterpret_cast<double*>(tables + 2 * stepsBytes);
    tables += 3 * stepsBytes;
    f.pixelColumns = reinterpret_cast<const int**>(tables);
    f.pixelRows = reinterpret_cast<const int**>(tables + pointersBytes);
    tables += 2 * pointersBytes;
    f.inks = reinterpret_cast<VexInk*>(tables);
    f.projections = reinterpret_cast<int*>(tables + inksBytes);
    for (int t = 0; t < threads; ++t) {
        f.runMemory.push_back(std::make_unique<std::pmr::monotonic_buffer_resource>(
            block + runsAt + t * runBytes, static_cast<std::size_t>(runBytes)));
    }
    for (int j = 0; j < ny; ++j) {
        if (j + 1 < ny) {
            f.stepUp[j] = ys[j + 1] - ys[j];
            f.stepDown[j] = ys[j] - ys[j + 1];
        }
        f.viewY[j] = (ys[j] - viewPrism.centerY) * viewPrism.scaleY;
    }
    const Prism& p = viewPrism;
    f.camera = {p.centerZ,        p.scaleZ,         p.cosElevation,   p.sinElevation,
                p.sinElevCosAzim, p.sinElevSinAzim, p.cosElevCosAzim, p.cosElevSinAzim,
                p.cosAzimuth,     p.sinAzimuth,     p.eyeDepth,       p.screenDistance,
                canvasCenterX,    canvasCenterY};
    f.light = lightVector;
    f.heights.xs = xs;
    f.heights.nx = nx;
    f.heights.ys = ys;
    f.heights.ny = ny;
    f.heights.heights = f.corners;
    f.heights.kernels = &kernels;
    f.heights.nextColumn.store(0);
    f.runs.resize(threads);
    f.nextBand.store(0);
    for (int shade = 0; shade < shadeCount; ++shade) {
        f.inks[shade] = vexFractal_InkOf(vexRaster_MakeColor(0xff0000, shade));
    }
    for (int i = 0; i < nx; ++i) {
        const int* slot = reinterpret_cast<const int*>(f.corners + static_cast<long long>(i) * ny);
        f.pixelColumns[i] = slot;
        f.pixelRows[i] = slot + ny;
    }

    f.ready.open();
    runFrameThread(f, 0);
    for (std::thread& helper : helpers) {
        helper.join();
    }

    // The canvas is left as the last facet left it: pen 0, the last triangle's colour, and its
    // corners in the polygon list.
    int last = nx - 2;
    int lastRow = ny - 2;
    const int* x = f.pixelColumns[last];
    const int* y = f.pixelRows[last];
    const int* xn = f.pixelColumns[last + 1];
    const int* yn = f.pixelRows[last + 1];
    vexRaster_SetPenSize(0);
    long long cells = static_cast<long long>(nx - 1) * (ny - 1);
    vexRaster_SetColor(vexRaster_MakeColor(0xff0000, f.shades[2 * cells - 1]));
    vexRaster_PolygonBegin(xn[lastRow + 1], yn[lastRow + 1]);
    vexRaster_PolygonAddVertex(x[lastRow + 1], y[lastRow + 1]);
    vexRaster_PolygonAddVertex(x[lastRow], y[lastRow]);
    // The run lists live in the block.
    f.runs.clear();
    f.runMemory.clear();
    vexMemory_Free(block);
}

void vexFractal_DrawSurfaceFast(int threadCount) {
    // Generously more than the 732 and 722 corners the grid has. Left uninitialised: only the
    // corners written are touched (each fresh page costs a fault).
    const int capacity = 4096;
    std::unique_ptr<double[]> xs(new double[capacity]);
    std::unique_ptr<double[]> ys(new double[capacity]);
    int columns = vexFractal_GridAxis(vexGridStartX, vexGridEndX, xs.get(), capacity);
    int rows = vexFractal_GridAxis(vexGridStartY, vexGridEndY, ys.get(), capacity);
    if (columns < 0 || rows < 0) {
        vexError_Fatal("grid larger than expected (vexFractal_DrawSurfaceFast)");
    }
    vexFractal_DrawGridFast(xs.get(), columns + 1, ys.get(), rows + 1, threadCount);
}
