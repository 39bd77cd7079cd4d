#include "engine/core/byte_order.h"

#include <bit>

static_assert(std::endian::native == std::endian::little, "the file formats are written little-endian");
