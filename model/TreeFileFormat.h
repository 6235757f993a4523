// What the tree file's reader and writer agree on beyond the field order.
#pragma once

#include <cstddef>

// Fixed part of a node record: five reals, four int32, four bytes and three string lengths.
constexpr size_t kMinRecordSize = 62;
constexpr size_t kMaxStringLength = 32767;
