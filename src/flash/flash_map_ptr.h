#pragma once

#include <memory>

#include "flash/flash_map.h"

// The owning holder in which the scanner keeps its current flash map. While
// the holder owns its maps, attaching a map deletes the one held before and
// the holder deletes the last one when it goes.
class CFlashMapPtr {
public:
    CFlashMapPtr() = default;
    // A holder that never deletes what it holds, for a map owned elsewhere.
    struct NotOwning {};
    explicit CFlashMapPtr(NotOwning) : owns_(false) {}

    CFlashMapPtr(const CFlashMapPtr&) = delete;
    CFlashMapPtr& operator=(const CFlashMapPtr&) = delete;
    virtual ~CFlashMapPtr();

    // Holds `map` from now on (none when empty), deleting the previous map
    // first when the holder owns its maps.
    void Attach(std::unique_ptr<CFlashMap> map);
    // Takes a raw pointer on the holder's terms: deleted later if owned.
    void Attach(CFlashMap* map) { Attach(std::unique_ptr<CFlashMap>(map)); }

    CFlashMap* get() const { return map_.get(); }
    CFlashMap* operator->() const { return map_.get(); }
    CFlashMap& operator*() const { return *map_; }
    explicit operator bool() const { return map_ != nullptr; }
    bool owns() const { return owns_; }

private:
    void dropHeld();

    std::unique_ptr<CFlashMap> map_;
    bool owns_ = true;
};
