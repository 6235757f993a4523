// Allocator settings for the programs that load whole classifications.
//
// A loaded hierarchy is millions of small blocks (a node and a name or two per taxon) that
// live until the trees are replaced. Fresh memory is what a load costs most: with ordinary
// 4 KiB pages, faulting it in costs more than reading the files, and jemalloc on
// transparent huge pages makes the same load take half the time.
//
// When trees are replaced (a reload, or the build that reads, combines and writes), the
// memory of the old ones should serve the new ones instead of going back to the system
// and being faulted in again:
// - dirty_decay_ms:-1 keeps freed pages in the process;
// - lg_extent_max_active_fit:20 lets the small runs that nodes and names are carved from
//   reuse the large free ranges a freed tree leaves, which by default are held back for
//   large requests, so that a second load would map as much new memory as the first.
// Together they make a repeated load of the same file take about a third of the time of
// the first. Linked only into the programs, never into the libraries or the sanitizer
// builds (which bring their own allocator).
extern "C" {
extern const char* malloc_conf;
const char* malloc_conf = "thp:always,metadata_thp:auto,dirty_decay_ms:-1,lg_extent_max_active_fit:20";
}
