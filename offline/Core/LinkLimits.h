#pragma once  // LinkLimits.h: how long the lists of an HD link may be, and how large an endpoint answer

#include <cstddef>

namespace ql {

// Lists whose lengths multiply one another inside a single call: a link id's tile list is copied
// into every endpoint that names the link, a walk pairs every lane of a link with every other, and
// it does so for every link a listing names. A tile holding a longer list is refused when it is
// loaded (TileLimitError, naming the file, the link and the count). Each limit lies far above what
// real roads reach (a tile list of a few tiles, some fifty lanes at the widest toll plazas, a few
// dozen listings), so that no real map comes near them.
constexpr std::size_t sc_nMaxLinkIdTiles = 256;  // vcttiTileIds of every link id a tile holds
constexpr std::size_t sc_nMaxLinkLanes = 256;    // HdLink::vcthlLane
constexpr std::size_t sc_nMaxLinkListing = 256;  // HdLink::vctliPreLinkId and vctliNxtLinkId, each
constexpr std::size_t sc_nMaxLaneListing = 256;  // HdLane::vctliPreLaneId and vctliNxtLaneId, each

// Under those limits a lane walk's answer can still be a product (every lane of 256 successors
// reaching every other), so a call that would hand out more than this many bytes of endpoints (each
// record with its link id's tile list) raises EndpointAnswerError before it appends anything.
constexpr std::size_t sc_nMaxEndpointAnswerBytes = std::size_t{128} << 20;

}  // namespace ql
