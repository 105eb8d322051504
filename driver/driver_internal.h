// Program driver, internal: what only the driver's own files and the tests use.
#pragma once

// Blocks of this many bytes and more are asked of the platform layer as large blocks on a
// huge-page boundary; smaller ones come from the heap.
constexpr int vexMemoryLargeBlockBytes = 2 << 20;
