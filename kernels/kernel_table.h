// The kernel table of a lane width, listed once for every instruction set. A kernel body,
// included by each kernel unit after all the others (see lanes/lanes_scalar.h).
#pragma once

namespace {

template <class L>
constexpr VexKernels kernelTable() {
    return {L::width,
            {L::width, advanceOrbits<L>},
            {shadeColumn<L>, projectColumn<L>},
            {drawCells<L>, fillTriangle<L>, drawLine, drawOneCell<L>,
             static_cast<long long>(sizeof(CellRows<L>))}};
}

}  // namespace
