#pragma once
#include <cstdint>
#include <vector>

// Creator codes of the databases that installed conduits already look after.
using CreatorList = std::vector<uint32_t>;
