#include "platform/module_loader.h"
#include "platform/still_image.h"
#include "platform/sync.h"
#include "platform/system_still_image.h"

#include <gtest/gtest.h>

// Linux has no Still Image service of its own.
using namespace platform;

TEST(SystemStillImage, WithoutAProviderThereIsNoStillImageLibrary) {
    EXPECT_EQ(LoadLibraryA("sti.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_FALSE(native::LoadSystemStillImage());

    IStillImageW* service = reinterpret_cast<IStillImageW*>(1);
    EXPECT_EQ(native::SystemStiCreateInstanceW(nullptr, STI_VERSION, &service, nullptr),
              STIERR_NOT_INITIALIZED);
    EXPECT_EQ(service, nullptr);
}
