// What libnodra.so's entries hand over, for the library and for the program
// that binds them by name: the outcome of a call that did not wait, and the
// types of the entries beside the _V2 ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix {
class DeviceList;
struct DeviceRecord;
}  // namespace orvix

extern "C" {

// A record of the list whose row took another id in a save.
struct NodraIdChange {
    const orvix::DeviceRecord* record;
    uint32_t from;
    uint32_t to;
};

struct NodraOutcome {
    int kind;                    // kNodraSaved, kNodraPassword or kNodraNote
    int ok;                      // 1 done, 0 not
    const char* notice;          // UTF-8, for a message box; "" when none
    const char* passwordNotice;  // UTF-8, the info line's note that passwords stay in the file; "" when none
    const orvix::DeviceRecord* record;  // kNodraPassword: the record asked about
    const char16_t* password;           // kNodraPassword when ok: NUL-terminated; otherwise null
    const NodraIdChange* idChanges;     // kNodraSaved
    size_t idChangeCount;
};

// Called on the store's own thread; the outcome is valid during the call
// only, and the listener must not call the store.
typedef void (*NodraListener)(void* context, const NodraOutcome* outcome);

}  // extern "C"

namespace orvix {

inline constexpr int kNodraSaved = 1;
inline constexpr int kNodraPassword = 2;
inline constexpr int kNodraNote = 3;

// Results of _gFetchDevPassword.
inline constexpr int kNodraPasswordInList = 0;
inline constexpr int kNodraPasswordGiven = 1;
inline constexpr int kNodraPasswordFetching = 2;

// _gFetchDevPassword(list, record, working)
using FetchPasswordEntry = int (*)(DeviceList* list, DeviceRecord* record, DeviceRecord* working);
// _gStoreSetListener(listener, context)
using SetListenerEntry = void (*)(NodraListener listener, void* context);
// _gStoreWaitIdle(milliseconds)
using WaitIdleEntry = int (*)(int milliseconds);

}  // namespace orvix
