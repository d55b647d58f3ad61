// The shooting-data strip: the white rows under a picture that carry its shooting-data line.
// Loading adds them; processing and the range gestures leave them out.
#pragma once

namespace nocturo {

constexpr int kShotDataStripRows = 15;

}  // namespace nocturo
