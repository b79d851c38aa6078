#include "flash/flash_map_ptr.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A map that counts its deletions, to see what the holder deletes.
class CountedMap : public CFlashMap {
public:
    explicit CountedMap(int& deletions) : deletions_(deletions) {}
    ~CountedMap() override { ++deletions_; }

    std::uint32_t GetBlockAddress(std::int32_t) const override { return 0; }
    std::uint32_t GetBlockSize(std::int32_t) const override { return 0; }
    bool IsReservedAddress(std::uint32_t) const override { return false; }

private:
    int& deletions_;
};

TEST(FlashMapPtr, StartsEmptyAndOwning) {
    const CFlashMapPtr holder;
    EXPECT_FALSE(holder);
    EXPECT_EQ(holder.get(), nullptr);
    EXPECT_TRUE(holder.owns());
}

TEST(FlashMapPtr, AttachDeletesThePreviousMapAndTheHolderTheLast) {
    int firstDeleted = 0;
    int secondDeleted = 0;
    {
        CFlashMapPtr holder;
        auto* first = new CountedMap(firstDeleted);
        holder.Attach(first);
        EXPECT_EQ(holder.get(), first);

        auto second = std::make_unique<CountedMap>(secondDeleted);
        CFlashMap* secondRaw = second.get();
        holder.Attach(std::move(second));
        EXPECT_EQ(firstDeleted, 1);
        EXPECT_EQ(secondDeleted, 0);
        EXPECT_EQ(holder.get(), secondRaw);
    }
    EXPECT_EQ(firstDeleted, 1);
    EXPECT_EQ(secondDeleted, 1);
}

TEST(FlashMapPtr, AttachingNothingDeletesAndEmpties) {
    int deleted = 0;
    CFlashMapPtr holder;
    holder.Attach(new CountedMap(deleted));
    holder.Attach(nullptr);
    EXPECT_EQ(deleted, 1);
    EXPECT_FALSE(holder);
}

TEST(FlashMapPtr, NotOwningHolderNeverDeletes) {
    int deleted = 0;
    CountedMap first(deleted);
    CountedMap second(deleted);
    {
        CFlashMapPtr holder(CFlashMapPtr::NotOwning{});
        EXPECT_FALSE(holder.owns());
        holder.Attach(&first);
        holder.Attach(&second);
        EXPECT_EQ(holder.get(), &second);
        EXPECT_EQ(deleted, 0);
    }
    EXPECT_EQ(deleted, 0);
}

} // namespace
