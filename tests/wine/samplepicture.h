// The sample background picture of the Windows tests (a 420 x 280
// landscape, one frame, rows shuffled with the seed), as Vint bytes.
#pragma once

#include <cstdint>
#include <string>

namespace mora::gallery {

std::string SamplePictureBytes(std::int32_t seed);

}  // namespace mora::gallery
