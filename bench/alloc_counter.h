// Counts heap allocations made through the global operator new in a benchmark binary.
#ifndef BENCH_ALLOC_COUNTER_H_
#define BENCH_ALLOC_COUNTER_H_

#include <cstddef>

namespace bench {

// Allocations made so far by this process through any form of operator new.
std::size_t AllocationCount();

}  // namespace bench

#endif  // BENCH_ALLOC_COUNTER_H_
