#pragma once

#include "platform/address32.h"
#include "platform/aspi.h"
#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/module_loader.h"
#include "platform/still_image.h"
#include "platform/sync.h"
#include "sim/simulation.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

// Virtual scanners reached the way a transport reaches real ones: raw ASPI
// request blocks and Still Image escapes, through the platform's calls alone.
class BusFixture : public testing::Test {
protected:
    void SetUp() override {
        platform::SetManualClock(true);
        // Arrivals an earlier test left pending in this process.
        platform::ResetDeviceNotifications();
    }
    void TearDown() override {
        simulation_.reset();
        platform::SetManualClock(false);
        platform::SetWow64Override(-1);
    }

    std::string profile(const std::string& name, const std::string& text) {
        const std::string path = scratch_.file(name);
        testing_support::writeFile(path, text);
        return path;
    }

    void attach(const std::vector<std::string>& profiles) {
        simulation_ = std::make_unique<sim::Simulation>(profiles);
        simulation_->install();
    }

    sim::VirtualScanner& scanner(std::size_t n = 0) { return *simulation_->scanners().at(n); }

    // An executed ASPI request; `data` is sent (out) or receives (in).
    platform::SRB_ExecSCSICmd aspi(int adapter, int target, std::vector<platform::BYTE> cdb,
                                   platform::BYTE direction, std::vector<platform::BYTE>& data) {
        using namespace platform;
        SRB_ExecSCSICmd block{};
        block.command = SC_EXEC_SCSI_CMD;
        block.hostAdapter = static_cast<BYTE>(adapter);
        block.target = static_cast<BYTE>(target);
        block.flags = static_cast<BYTE>(direction | SRB_EVENT_NOTIFY);
        Address32 buffer(data.empty() ? nullptr : data.data());
        block.dataLength = static_cast<DWORD>(data.size());
        block.dataBuffer = buffer.value();
        block.senseLength = 14;
        block.cdbLength = static_cast<BYTE>(cdb.size());
        std::memcpy(block.cdb, cdb.data(), cdb.size());
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        block.postEvent = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(event));
        HMODULE module = LoadLibraryA("WNASPI32");
        auto send = reinterpret_cast<DWORD (*)(void*)>(GetProcAddress(module, "SendASPI32Command"));
        if (send(&block) == SS_PENDING)
            WaitForSingleObject(event, 0);
        FreeLibrary(module);
        CloseHandle(event);
        return block;
    }

    platform::SRB_ExecSCSICmd aspi(int adapter, int target, std::vector<platform::BYTE> cdb) {
        std::vector<platform::BYTE> none;
        return aspi(adapter, target, std::move(cdb), 0, none);
    }

    // The Still Image service's first device, created and locked.
    platform::IStiDevice* openSti(const std::string& localName) {
        using namespace platform;
        HMODULE module = LoadLibraryA("sti.dll");
        auto create = reinterpret_cast<HRESULT (*)(HINSTANCE, DWORD, IStillImageW**, void*)>(
            GetProcAddress(module, "StiCreateInstanceW"));
        IStillImageW* service = nullptr;
        EXPECT_EQ(create(nullptr, STI_VERSION, &service, nullptr), S_OK);
        DWORD count = 0;
        void* list = nullptr;
        EXPECT_EQ(service->GetDeviceList(0, 0, &count, &list), S_OK);
        IStiDevice* device = nullptr;
        auto* records = static_cast<STI_DEVICE_INFORMATIONW*>(list);
        for (DWORD i = 0; i < count; ++i) {
            char name[256] = {};
            WideCharToMultiByte(CP_ACP, 0, records[i].pszLocalName, -1, name, sizeof name, nullptr,
                                nullptr);
            if (localName == name) {
                EXPECT_EQ(service->CreateDevice(records[i].szDeviceInternalName,
                                                STI_DEVICE_CREATE_BOTH, &device, nullptr),
                          S_OK);
                break;
            }
        }
        LocalFree(list);
        service->Release();
        FreeLibrary(module);
        if (device != nullptr) {
            EXPECT_EQ(device->LockDevice(60000), S_OK);
        }
        return device;
    }

    testing_support::ScratchDir scratch_;
    std::unique_ptr<sim::Simulation> simulation_;
};
