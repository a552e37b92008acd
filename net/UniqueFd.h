#pragma once

#include "base/UniqueFd.h"

namespace vocalyn::net {

// Sockets use the same descriptor guard as files.
using vocalyn::UniqueFd;

} // namespace vocalyn::net
