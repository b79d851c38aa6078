#include "platform/system_info.h"
#include "platform/win32/sti_com.h"
#include "sim/scanner_profile.h"
#include "sim/sti_service.h"
#include "sim/virtual_scanner.h"

#include "platform/win32/windows_api.h"

#include <sti.h>

#include <exception>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

// "sti.dll" of the virtual scanners: their Still Image service as a COM
// server with the system's entry point, vtables and calling convention. Put
// beside a program, it is loaded in place of the system's "sti.dll".
//
// REFIRM_STI_DLL_SCANNER names the scanner profiles (separated by ';'); the
// scanners with an STI transport are listed. Their state files and flash
// dumps are written each time the last object of a service is released, and
// once more when the library unloads.
namespace {

class Scanners {
public:
    ~Scanners() { persist(); }

    // Read from the profiles on first use; throws for a profile that cannot
    // be read.
    std::vector<std::shared_ptr<sim::VirtualScanner>> listed() {
        std::lock_guard<std::mutex> guard(lock_);
        if (!loaded_) {
            std::stringstream list(platform::GetEnvironmentVariableA("REFIRM_STI_DLL_SCANNER"));
            for (std::string path; std::getline(list, path, ';');) {
                if (path.empty())
                    continue;
                auto scanner = std::make_shared<sim::VirtualScanner>(sim::LoadScannerProfile(path));
                if (scanner->profile().transport == sim::Transport::Sti)
                    scanners_.push_back(std::move(scanner));
            }
            loaded_ = true;
        }
        return scanners_;
    }

    void persist() {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& scanner : scanners_)
            scanner->persist();
    }

private:
    std::mutex lock_;
    bool loaded_ = false;
    std::vector<std::shared_ptr<sim::VirtualScanner>> scanners_;
};

Scanners& scanners() {
    static Scanners instance;
    return instance;
}

} // namespace

extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE
    StiCreateInstanceW(HINSTANCE, DWORD version, ::IStillImageW** stillImage, LPUNKNOWN outer) {
    if (stillImage == nullptr)
        return E_POINTER;
    *stillImage = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    if ((version & ~STI_VERSION_FLAG_MASK) < STI_VERSION_MIN_ALLOWED)
        return STIERR_OLD_VERSION;
    std::vector<std::shared_ptr<sim::VirtualScanner>> listed;
    try {
        listed = scanners().listed();
    } catch (const std::exception&) {
        return STIERR_NOT_INITIALIZED;
    }
    *stillImage = static_cast<::IStillImageW*>(platform::native::ExportStillImage(
        sim::CreateStillImageService(std::move(listed)), [] { scanners().persist(); }));
    return S_OK;
}
