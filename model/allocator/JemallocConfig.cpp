// Allocator settings for the programs that load whole classifications.
//
// A loaded hierarchy is millions of small blocks (a node and three names per taxon) that
// live until the program ends. With ordinary 4 KiB pages, faulting in that memory costs
// more than reading the files; jemalloc on transparent huge pages makes the same load take
// half the time. Linked only into the programs, never into the libraries or the sanitizer
// builds (which bring their own allocator).
extern "C" {
extern const char* malloc_conf;
const char* malloc_conf = "thp:always,metadata_thp:auto";
}
