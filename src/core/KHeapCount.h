// Counts the program's heap allocations for the timedemo: the executable
// links this and replaces the global allocation functions, so only the
// game counts, never a test or tool.
#pragma once

// Points the kernel's allocation hook at the counter.
void CountHeapAllocations();
