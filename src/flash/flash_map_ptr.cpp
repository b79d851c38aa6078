#include "flash/flash_map_ptr.h"

#include <utility>

CFlashMapPtr::~CFlashMapPtr() {
    dropHeld();
}

void CFlashMapPtr::Attach(std::unique_ptr<CFlashMap> map) {
    dropHeld();
    map_ = std::move(map);
}

void CFlashMapPtr::dropHeld() {
    // A map we do not own is only forgotten, never deleted.
    if (!owns_)
        static_cast<void>(map_.release());
    map_.reset();
}
