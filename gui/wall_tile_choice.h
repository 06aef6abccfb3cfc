// What one tile of the wall shows: a camera of a recorder of the device
// list, named by the recorder's id so that a rename keeps it.
#pragma once

#include <QString>
#include <cstdint>

namespace orvix {

struct WallTileChoice {
    uint32_t recorderId = 0;  // 0: the tile shows nothing
    QString recorderName;     // as last known: said when it left the device list
    int camera = 0;           // 0-based

    bool empty() const { return recorderId == 0; }
    bool operator==(const WallTileChoice&) const = default;
};

}  // namespace orvix
